#pragma once
// One browser pane: the operations the program calls and the events it handles.
// Navigate raises BeforeNavigate before it returns; the program navigation flag of the
// main window depends on that.
#include <QString>

#include <functional>

class QWidget;

class BrowserPane {
public:
    virtual ~BrowserPane() = default;

    virtual QWidget* widget() = 0;
    virtual void Navigate(const QString& url) = 0;
    // These raise an Exception when the control reports a failure (no history, nothing
    // loaded); the navigation bar decides whether that is shown.
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Refresh() = 0;
    virtual void Stop() = 0;

    // Cancel set true: the pane stays where it is.
    std::function<void(const QString& url, bool& cancel)> BeforeNavigate;
    // Processed set true: no window opens and nothing is navigated.
    std::function<void(const QString& url, bool& processed)> NewWindow;
    std::function<void(const QString& url)> NavigateComplete;
    // Progress -1: loading ended.
    std::function<void(int progress, int progressMax)> ProgressChange;
    std::function<void(const QString& text)> StatusTextChange;
    std::function<void(const QString& text)> TitleChange;

protected:
    // Raises an event inside the handler guard; false when nothing cancelled it.
    bool raiseBeforeNavigate(const QString& url);
    bool raiseNewWindow(const QString& url);
    void raiseNavigateComplete(const QString& url);
    void raiseProgressChange(int progress, int progressMax);
    void raiseStatusTextChange(const QString& text);
    void raiseTitleChange(const QString& text);
};

// Makes the pane for one side of the main window.
using PaneFactory = std::function<BrowserPane*(QWidget* parent)>;
