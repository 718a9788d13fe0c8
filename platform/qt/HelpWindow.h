#pragma once
// The program's own help window: the pages of "帮助/" in a QTextBrowser.

#include <QString>
#include <QWidget>

class QTextBrowser;
class QPushButton;

class HelpWindow final : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the page (a local .htm file) and brings the window forward.
    // False when the page does not exist.
    bool ShowPage(const QString& htmlFile);
    QString CurrentPage() const { return current_; }
    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_;
    QPushButton* back_;
    QPushButton* home_;
    QString current_;
};
