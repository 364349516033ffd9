#pragma once
// The main window: two browser panes, the site buttons and navigation bar, the status
// bar and menu; it owns the program directory, the start-address table, the current
// site number, the two link lists and the work text.
#include "approval/gate.h"
#include "data/linklists.h"
#include "records/record.h"
#include "setup/mainlink.h"
#include "shell/pane.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <memory>
#include <string>

class Dialogs;
class QAction;
class QLabel;
class QProgressBar;
class QToolButton;
class ListDownload;
class ListFileWatcher;
class TBinaryClient;
class TAboutBox;
class TForm3;
class Records;
class RefusalTally;
class RequestDesk;
class QUrl;

class TForm1 : public QMainWindow, public MainWindowLink {
public:
    struct Context {
        Dialogs& dialogs;
        std::string programDir;  // ends with the path separator
        QStringList arguments;   // without the program name
        PaneFactory panes;
        Records* records = nullptr;  // where refusals and requests are recorded, if anywhere
    };
    explicit TForm1(Context context);
    ~TForm1() override;

    void setSetupWindow(TForm3* form3);
    void setAboutBox(TAboutBox* about) { AboutBox = about; }

    // Handlers.
    void FormCreate();
    void FormActivate();
    void FormDeactivate();
    void WebBrowser1BeforeNavigate(const QString& url, bool& cancel);
    void WebBrowser2BeforeNavigate(const QString& url, bool& cancel);
    void WebBrowser1NewWindow(const QString& url, bool& processed);
    void WebBrowser2NewWindow(const QString& url, bool& processed);
    void WebBrowser1ProgressChange(int progress, int progressMax);
    void WebBrowser2ProgressChange(int progress, int progressMax);
    void WebBrowser1NavigateComplete(const QString& url);
    void WebBrowser2NavigateComplete(const QString& url);
    void WebBrowser2StatusTextChange(const QString& text);
    void WebBrowser2TitleChange(const QString& text);
    void Setup1Click();
    void N1Click();
    void Contents1Click();
    void About1Click();
    void siteClick(int site);
    void SpeedButton1Click() { siteClick(1); }
    void SpeedButton2Click() { siteClick(2); }
    void SpeedButton3Click() { siteClick(3); }
    void SpeedButton4Click() { siteClick(4); }
    void SpeedButton10Click() { siteClick(5); }
    void SpeedButton14Click() { siteClick(6); }
    void SpeedButton11Click() { siteClick(7); }
    void SpeedButton13Click() { siteClick(8); }
    void SpeedButton12Click() { siteClick(9); }
    void SpeedButton5Click();     // "Last"
    void SpeedButton6Click();     // "Next"
    void SpeedButton7Click();     // "Stop"
    void SpeedButton8Click();     // "Reload"
    void FlatAllButtons();

    // Operations.
    void ReadSetupFromData();
    void UpdateData() override;
    void hideUpdateIndicator() override;
    TBinaryClient& HttpClient();
    ListDownload& download() { return *download_; }
    // The general approval of a pane's navigation: what a pane may open, then urlok.
    bool urlok(const QString& url) const;
    // The same rules for any request of a page, at this moment.
    bool allows(std::string_view address, RequestKind kind) const;
    RulesState rulesState() const;
    bool safeSearch() const;  // whether the request gate asks for searches' safe forms
    bool MainUrlOk(const QString& url);

    // Records (refusals.cpp). A refusal of the request gate, counted now and recorded
    // later; the child's requests and a parent's answers.
    void countRefused(const QUrl& page, const QUrl& address, bool frame);
    RequestDesk* requests() override { return desk_.get(); }
    void flushRecords();

    // MainWindowLink.
    const TextList& predefinedList() const override { return lists.predefined(); }
    const TextList& mainList() const override { return lists.main(); }
    void clearStartAddresses() override;
    void setStartAddress(int site, const std::string& address) override;
    void showSiteSlot(int site, bool shown) override;
    void setSiteLabel(int site, const std::string& label) override;
    void setSitePicture(int site, const QPixmap& picture) override;

    // State.
    std::string programDir;
    std::array<std::string, 10> startAddresses;  // 1..9
    int currentSite = 1;
    bool programNavigating = false;
    bool firstActivation = true;
    LinkLists lists;     // ListBox1 (predefined) and ListBox2 (main)
    std::string Memo1;   // work text

    // Controls.
    BrowserPane* WebBrowser1;
    BrowserPane* WebBrowser2;
    QProgressBar* ProgressBar1;
    QProgressBar* ProgressBar2;
    QLabel* Panel2;      // status text
    QWidget* Shape1;     // update indicator
    QAction* Setup1;
    QAction* N1;
    QAction* Contents1;
    QAction* About1;
    std::array<QWidget*, 10> siteSlot{};           // 1..9
    std::array<QToolButton*, 10> siteButton{};     // 1..9
    QToolButton* SpeedButton5;
    QToolButton* SpeedButton6;
    QToolButton* SpeedButton7;
    QToolButton* SpeedButton8;

    TForm3* Form3 = nullptr;
    TAboutBox* AboutBox = nullptr;

protected:
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildLayout();
    void runStartup();
    void navigateLeft(const std::string& address);
    void message(const char* text);
    // Shows a navigation's refusal, records it and lets the child ask a parent.
    void refuse(const QString& url, const char* pane, const char* text);
    void completeRecord(Record& r) const;

    Dialogs& dialogs_;
    std::unique_ptr<ListDownload> download_;
    std::unique_ptr<ListFileWatcher> watcher_;  // data.dat replaced by another process
    QStringList arguments_;
    bool startupRunning_ = false;
    bool activationArmed_ = true;
    Records* records_;
    std::unique_ptr<RefusalTally> tally_;
    std::unique_ptr<RequestDesk> desk_;
    std::string leftPage_;  // the list page the left pane shows
};

// What the status bar says while the lists download.
std::string downloadProgressText(std::uint64_t received, std::int64_t total);

// Start-up resolution of a site address against the program directory.
std::string resolveStartAddress(const std::string& address, const std::string& programDir);
