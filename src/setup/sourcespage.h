#pragma once
// A page of the setup window that shows, without changing anything, the lists named in
// sources.txt that the daily update builds data.dat from, and when each was last fetched.
#include <QWidget>

#include <string>

class QLabel;
class QTreeWidget;

class SourcesPage : public QWidget {
public:
    explicit SourcesPage(std::string programDir, QWidget* parent = nullptr);

    // Reads sources.txt and what the last fetch of each list left, again.
    void reload();

    QLabel* note;
    QTreeWidget* sources;

private:
    std::string programDir_;
};
