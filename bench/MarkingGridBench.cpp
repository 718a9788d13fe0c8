// Refreshing the marking grid over a full store: 5000 records of 200
// questions. A refresh resets the model (one pass of the filter over the
// records) and the view then asks for the texts and colours of the cells it
// shows, about 30 rows of 40 columns in an 840-pixel window.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <cstdio>
#include <memory>

#include "marking/Scoring.h"
#include "marking/SessionState.h"
#include "marking/ui/MarkingGridDelegate.h"
#include "marking/ui/MarkingGridModel.h"

namespace {

struct FullStore {
    std::unique_ptr<MarkingSessionState> state = NewMarkingSessionState();

    FullStore()
    {
        StudentRoster& roster = state->roster;
        roster.classEnabled = 1;
        ExamSetup& e = state->exam;
        e.questionCount = 200;
        e.groupCount = 2;
        e.groups[0] = {1, 150, 1, 0};
        e.groups[1] = {151, 200, 2, 1};
        for (int q = 0; q < 200; ++q)
            e.questions[q] = {q < 150 ? 1.0f : 2.0f, q < 150 ? 0 : 1, 1, 0};
        const char* single[4] = {"A", "B", "C", "D"};
        const char* multiple[4] = {"AB", "ACD", "BC", "ABCD"};
        MarkingSession& s = state->session;
        s.recordCount = MarkingSession::MaxRecords;
        (void)s.records[0].admissionNumber.Set("         ");
        for (int i = 0; i < MarkingSession::MaxRecords; ++i) {
            MarkingRecord& r = s.records[i];
            if (i > 0) {
                char number[16];
                std::snprintf(number, sizeof number, "2024%05d", i);
                (void)r.admissionNumber.Set(number);
                (void)r.studentName.SetUtf8("王浩然");
                (void)r.classCode.Set(i % 2 ? "01" : "02");
                r.readCount = 1;
            }
            for (int q = 0; q < 200; ++q)
                (void)r.questionResults[q].answer.Set(q < 150 ? single[(i + q) % 4] : multiple[(i * 3 + q) % 4]);
        }
        RescoreAll(e, s);
    }
};

void RefreshAndPaint(benchmark::State& st, bool oneClass)
{
    FullStore store;
    MarkingGridModel model(*store.state);
    model.SetUpColumns();
    MarkingGridFilter filter;
    filter.classOn = true;
    filter.allClasses = !oneClass;
    filter.classText = "01";
    for (auto _ : st) {
        model.Refresh(filter);
        // The first screen of the grid, then a screen in the middle of the questions.
        for (int firstColumn : {0, 100})
            for (int row = 0; row < 30; ++row)
                for (int column = firstColumn; column < firstColumn + 40; ++column) {
                    const QModelIndex index = model.index(row + 2000, column);
                    benchmark::DoNotOptimize(model.data(index, Qt::DisplayRole));
                    benchmark::DoNotOptimize(model.data(index, Qt::ForegroundRole));
                }
    }
    st.counters["rows"] = model.rowCount();
}

void BM_MarkingGridRefreshAllClasses(benchmark::State& st) { RefreshAndPaint(st, false); }
void BM_MarkingGridRefreshOneClass(benchmark::State& st) { RefreshAndPaint(st, true); }

// The same refresh through a real table view, painted: what the window
// pays after every accepted card.
void BM_MarkingGridViewRefreshAndPaint(benchmark::State& st)
{
    static int argc = 1;
    static char name[] = "scorivo_bench";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> app;
    if (!app) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    }
    FullStore store;
    QTableView view;
    MarkingGridModel model(*store.state);
    model.SetUpColumns();
    view.setModel(&model);
    view.setItemDelegate(new MarkingGridDelegate(&view, model, {}, {}));
    view.verticalHeader()->setVisible(false);
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(20);
    view.horizontalHeader()->setDefaultSectionSize(25);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.resize(820, 240);
    view.show();
    MarkingGridFilter filter;
    filter.classOn = true;
    for (auto _ : st) {
        model.Refresh(filter);
        view.setCurrentIndex(model.index(model.rowCount() - 1, 1));
        benchmark::DoNotOptimize(view.viewport()->grab());
    }
}

BENCHMARK(BM_MarkingGridRefreshAllClasses)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MarkingGridRefreshOneClass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MarkingGridViewRefreshAndPaint)->Unit(benchmark::kMicrosecond);

} // namespace
