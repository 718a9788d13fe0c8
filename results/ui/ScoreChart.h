#pragma once
// A bar chart of how many students fall into each score band, drawn with
// QPainter from plain numbers: the page hands in the bands' captions and
// counts, the chart knows nothing of records.

#include <QString>
#include <QWidget>
#include <vector>

class ScoreChart final : public QWidget {
    Q_OBJECT
public:
    struct Band {
        QString caption;  // e.g. "60-69"
        int count = 0;
    };

    explicit ScoreChart(QWidget* parent = nullptr);

    // Replaces the bands and repaints; no bands shows `emptyText` instead.
    void SetBands(std::vector<Band> bands, const QString& emptyText = QString());
    const std::vector<Band>& Bands() const { return bands_; }
    void SetTitle(const QString& title)
    {
        title_ = title;
        update();
    }

    QSize sizeHint() const override { return {360, 200}; }
    QSize minimumSizeHint() const override { return {240, 140}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Band> bands_;
    QString emptyText_;
    QString title_;
};
