#include "setup/sourcespage.h"

#include "data/files.h"
#include "data/sources.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>

namespace {

QString timeText(std::int64_t t) { return QDateTime::fromSecsSinceEpoch(t).toString("yyyy-MM-dd HH:mm"); }

// When the list was last fetched, and what went wrong since.
QString fetchedText(const SourceState* state) {
    if (!state) return "not yet";
    QString text = state->fetched ? timeText(state->fetched) : QString("never");
    if (!state->problem.empty())
        text += " (" + timeText(state->tried) + " failed: " + QString::fromUtf8(state->problem.c_str()) + ")";
    return text;
}

}  // namespace

SourcesPage::SourcesPage(std::string programDir, QWidget* parent)
    : QWidget(parent), programDir_(std::move(programDir)) {
    setObjectName("SourcesPage");
    note = new QLabel(this);
    note->setObjectName("SourcesNote");
    note->setGeometry(8, 4, 514, 40);
    note->setWordWrap(true);
    sources = new QTreeWidget(this);
    sources->setObjectName("SourcesList");
    sources->setGeometry(0, 48, 530, 224);
    sources->setRootIsDecorated(false);
    sources->setSelectionMode(QAbstractItemView::SingleSelection);
    sources->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sources->setHeaderLabels({"Address", "Format", "Use", "Last fetched"});
    sources->header()->setStretchLastSection(true);
    sources->setColumnWidth(0, 230);
    sources->setColumnWidth(1, 60);
    sources->setColumnWidth(2, 45);
}

void SourcesPage::reload() {
    sources->clear();
    const std::string file = programDir_ + SourcesFileName;
    if (!fileExists(file)) {
        note->setText(QString("No %1 in the program folder: the lists come from the download on the "
                              "\"Predefined Blocked Links\" page.")
                          .arg(SourcesFileName));
        return;
    }
    std::vector<ListSource> named;
    std::vector<SourceState> states;
    try {
        named = readSources(programDir_);
        states = readSourceStates(programDir_);
    } catch (const std::exception& e) {
        note->setText(QString::fromUtf8(e.what()) +
                      ". The daily update keeps the lists as they are until it is mended.");
        return;
    }
    note->setText(QString("The predefined blocked links are built from the lists that %1 names, by the daily "
                          "update (or wenlow-lists --sources):")
                      .arg(SourcesFileName));
    for (const ListSource& s : named) {
        const SourceState* state = stateOf(states, s.address);
        auto* row = new QTreeWidgetItem(
            sources, {QString::fromUtf8(s.address.c_str()), formatName(s.format), useName(s.use), fetchedText(state)});
        for (int column = 0; column < 4; ++column) row->setToolTip(column, row->text(column));
    }
}
