#pragma once
// A pane without an engine: tests click links, request windows and watch what the
// program asks of it. It raises the same events in the same order as the real pane.
#include "shell/pane.h"

#include <QStringList>

class ScriptedPane : public BrowserPane {
public:
    explicit ScriptedPane(QWidget* parent);
    ~ScriptedPane() override;

    QWidget* widget() override { return widget_; }
    void Navigate(const QString& url) override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    void Stop() override;

    // What the engine would do for a link clicked in the page: BeforeNavigate, then the
    // load unless it was cancelled. True when the pane loaded it.
    bool clickLink(const QString& url);
    // A request to open a window; one left unprocessed is followed in this pane.
    void requestNewWindow(const QString& url);

    QString current;             // the page shown
    QStringList navigateCalls;   // every Navigate the program made, in order
    int stopCalls = 0;
    bool completeLoads = true;   // false: a load starts and stays in progress

private:
    void load(const QString& url);

    QWidget* widget_;
    QStringList history_;
    int index_ = -1;
};
