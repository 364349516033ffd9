#include "shell/form1.h"

#include "approval/gate.h"
#include "approval/urlok.h"
#include "data/files.h"
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "platform/fonts.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "records/desk.h"
#include "records/tally.h"
#include "setup/form3.h"
#include "shell/about.h"
#include "shell/access.h"
#include "update/download.h"
#include "update/listwatch.h"

#include <QApplication>

#include <cstdio>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Site n's button and slot names, in site order.
const int SiteButtonNumbers[] = {1, 2, 3, 4, 10, 14, 11, 13, 12};
const int SiteSlotNumbers[] = {8, 16, 9, 15, 10, 14, 11, 13, 12};
const char* const SiteHints[] = {
    "Show me cool list of Web Sites",   "Show me a cool list of Web Sites", "Show me a cool list of Web Sites",
    "Show me a cool list of Web Sites", "Show me cool list of Web Sites",   "Show me cool list of Web Sites",
    "Show me cool list of Web Sites",   "Show me cool list of Web Sites",   "Show me cool list of Web Sites"};

class Indicator : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(0, 160, 0));
        p.setPen(Qt::black);
        p.drawEllipse(rect().adjusted(0, 0, -1, -1));
    }
};

QToolButton* barButton(QWidget* parent, const QString& name, const QString& caption, const QString& hint,
                       int fontPixels) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setToolTip(hint);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setCursor(Qt::PointingHandCursor);
    b->setFont(designFont(fontPixels));
    return b;
}

QWidget* sunkenPanel(QWidget* parent, const QString& name) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return frame;
}

void progressRule(QProgressBar* bar, BrowserPane* pane, int progress, int progressMax) {
    if (progress < 0) {
        bar->hide();
        pane->widget()->unsetCursor();
        return;
    }
    if (bar->isHidden()) {
        pane->widget()->setCursor(Qt::BusyCursor);
        bar->show();
    }
    bar->setRange(0, progressMax);
    bar->setValue(progress);
}

bool isAbsolutePath(const std::string& a) { return (a.size() >= 3 && a[1] == ':' && a[2] == '\\') || startsWith(a, "/"); }

}  // namespace

std::string downloadProgressText(std::uint64_t received, std::int64_t total) {
    const auto megabytes = [](std::uint64_t bytes) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
        return std::string(text);
    };
    std::string text = "Downloading the link lists: " + megabytes(received);
    if (total > 0)
        text += " of " + megabytes(static_cast<std::uint64_t>(total)) + " (" +
                std::to_string(received * 100 / static_cast<std::uint64_t>(total)) + " %)";
    return text;
}

std::string resolveStartAddress(const std::string& address, const std::string& programDir) {
    const std::string upper = upperAZ(address);
    if (address.size() > 6) {
        if (!startsWith(upper, "HTTP://") && !startsWith(upper, "HTTPS://") && !isAbsolutePath(address))
            return programDir + address;
    } else if (address.size() > 2) {
        if (!isAbsolutePath(address)) return programDir + address;
    }
    return address;
}

TForm1::TForm1(Context context)
    : programDir(std::move(context.programDir)), dialogs_(context.dialogs), arguments_(std::move(context.arguments)),
      records_(context.records) {
    setObjectName("Form1");
    auto* central = new QWidget(this);
    setCentralWidget(central);
    WebBrowser1 = context.panes(nullptr);
    WebBrowser2 = context.panes(nullptr);
    buildLayout();

    WebBrowser1->BeforeNavigate = [this](const QString& u, bool& c) { WebBrowser1BeforeNavigate(u, c); };
    WebBrowser2->BeforeNavigate = [this](const QString& u, bool& c) { WebBrowser2BeforeNavigate(u, c); };
    WebBrowser1->NewWindow = [this](const QString& u, bool& p) { WebBrowser1NewWindow(u, p); };
    WebBrowser2->NewWindow = [this](const QString& u, bool& p) { WebBrowser2NewWindow(u, p); };
    WebBrowser1->ProgressChange = [this](int p, int m) { WebBrowser1ProgressChange(p, m); };
    WebBrowser2->ProgressChange = [this](int p, int m) { WebBrowser2ProgressChange(p, m); };
    WebBrowser1->NavigateComplete = [this](const QString& u) { WebBrowser1NavigateComplete(u); };
    WebBrowser2->NavigateComplete = [this](const QString& u) { WebBrowser2NavigateComplete(u); };
    WebBrowser2->StatusTextChange = [this](const QString& t) { WebBrowser2StatusTextChange(t); };
    WebBrowser2->TitleChange = [this](const QString& t) { WebBrowser2TitleChange(t); };

    // HttpClient comes with the main window; its port setting runs one look-up here.
    download_ = std::make_unique<ListDownload>(programDir, lists, Memo1);
    watcher_ = std::make_unique<ListFileWatcher>(programDir, lists, Memo1);
    download_->onStored = [this] {
        Shape1->show();
        watcher_->follow();  // its own file: nothing to read again
    };
    // The download's progress in the status bar and the setup window while it runs; gone
    // from the status bar when it ends, and the setup window says how it ended.
    download_->onProgress = [this](std::uint64_t received, std::int64_t total) {
        const QString text = fromAnsi(downloadProgressText(received, total));
        Panel2->setText(text);
        if (Form3) Form3->showUpdateProgress(text);
    };
    download_->onEnded = [this](bool stored, const std::string& outcome) {
        Panel2->clear();
        if (Form3) Form3->showUpdateOutcome(stored, outcome);
    };
    if (records_) {
        tally_ = std::make_unique<RefusalTally>(*records_, [this](Record& r) { completeRecord(r); });
        desk_ = std::make_unique<RequestDesk>(*records_);
        // A parent allowed what the child asked for: it opens at once.
        desk_->onApproved = [this](const std::string& address) { WebBrowser2->Navigate(fromAnsi(address)); };
    }
    FormCreate();
}

TForm1::~TForm1() {
    tally_.reset();
    watcher_.reset();
    download_.reset();
    delete WebBrowser1;
    delete WebBrowser2;
}

void TForm1::buildLayout() {
    setWindowTitle("Wenlow Explorer");
    setFont(designFont(13));
    resize(640, 450);
    if (auto* screen = QGuiApplication::primaryScreen()) move(screen->availableGeometry().center() - rect().center());

    auto* file = menuBar()->addMenu("&File");
    Setup1 = file->addAction("Parent Setup", this, [this] { guarded([this] { Setup1Click(); }); });
    file->addSeparator();
    N1 = file->addAction("&Exit", this, [this] { guarded([this] { N1Click(); }); });
    auto* help = menuBar()->addMenu("&Help");
    Contents1 = help->addAction("&Contents", this, [this] { guarded([this] { Contents1Click(); }); });
    help->addSeparator();
    About1 = help->addAction("&About...", this, [this] { guarded([this] { About1Click(); }); });
    Setup1->setObjectName("Setup1");
    N1->setObjectName("N1");
    Contents1->setObjectName("Contents1");
    About1->setObjectName("About1");

    auto* column = new QVBoxLayout(centralWidget());
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Top bar: site buttons, then the navigation bar at the right end.
    auto* panel5 = new QWidget;
    panel5->setObjectName("Panel5");
    panel5->setFixedHeight(57);
    auto* top = new QHBoxLayout(panel5);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    auto* panel7 = new QWidget;
    panel7->setObjectName("Panel7");
    auto* row = new QHBoxLayout(panel7);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* spacer = new QWidget;
    spacer->setObjectName("Panel17");
    spacer->setFixedWidth(8);
    row->addWidget(spacer);
    for (int n = 1; n <= 9; ++n) {
        auto* slot = new QWidget;
        slot->setObjectName(QString("Panel%1").arg(SiteSlotNumbers[n - 1]));
        slot->setFixedSize(47, 57);
        auto* b = barButton(slot, QString("SpeedButton%1").arg(SiteButtonNumbers[n - 1]),
                            n == 1 ? QString("Local") : QString("Site %1").arg(n), SiteHints[n - 1], 13);
        b->setGeometry(0, 5, 47, 47);
        connect(b, &QToolButton::clicked, this, [this, n] { guarded([this, n] { siteClick(n); }); });
        siteSlot[n] = slot;
        siteButton[n] = b;
        row->addWidget(slot);
    }
    row->addStretch(1);
    top->addWidget(panel7, 1);

    auto* panel6 = new QWidget;
    panel6->setObjectName("Panel6");
    panel6->setFixedSize(215, 57);
    SpeedButton5 = barButton(panel6, "SpeedButton5", "Last", "I want to go back!", 13);
    SpeedButton6 = barButton(panel6, "SpeedButton6", "Next", "I want to go forward!", 13);
    SpeedButton7 = barButton(panel6, "SpeedButton7", "Stop", "I changed my mind- I don't want to see that page now", 13);
    SpeedButton8 = barButton(panel6, "SpeedButton8", "Reload", "I would like to reload this page again", 10);
    SpeedButton5->setGeometry(9, 5, 46, 47);
    SpeedButton6->setGeometry(55, 5, 47, 47);
    SpeedButton7->setGeometry(108, 5, 47, 47);
    SpeedButton8->setGeometry(155, 5, 47, 47);
    SpeedButton5->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    SpeedButton6->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    SpeedButton7->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    SpeedButton8->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    connect(SpeedButton5, &QToolButton::clicked, this, [this] { guarded([this] { SpeedButton5Click(); }); });
    connect(SpeedButton6, &QToolButton::clicked, this, [this] { guarded([this] { SpeedButton6Click(); }); });
    connect(SpeedButton7, &QToolButton::clicked, this, [this] { guarded([this] { SpeedButton7Click(); }); });
    connect(SpeedButton8, &QToolButton::clicked, this, [this] { guarded([this] { SpeedButton8Click(); }); });
    top->addWidget(panel6);
    column->addWidget(panel5);

    // The two panes with the splitter between them.
    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setObjectName("Splitter1");
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    auto* panel3 = new QWidget;
    panel3->setObjectName("Panel3");
    auto* leftBox = new QVBoxLayout(panel3);
    leftBox->setContentsMargins(0, 0, 0, 0);
    leftBox->addWidget(WebBrowser1->widget());
    auto* panel4 = new QWidget;
    panel4->setObjectName("Panel4");
    auto* rightBox = new QVBoxLayout(panel4);
    rightBox->setContentsMargins(0, 0, 0, 0);
    rightBox->addWidget(WebBrowser2->widget());
    WebBrowser1->widget()->setObjectName("WebBrowser1");
    WebBrowser2->widget()->setObjectName("WebBrowser2");
    splitter->addWidget(panel3);
    splitter->addWidget(panel4);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({185, 452});
    column->addWidget(splitter, 1);

    // Status bar.
    auto* panel1 = sunkenPanel(nullptr, "Panel1");
    panel1->setFixedHeight(27);
    auto* status = new QHBoxLayout(panel1);
    status->setContentsMargins(2, 2, 2, 2);
    status->setSpacing(2);
    auto* panel18 = sunkenPanel(nullptr, "Panel18");
    panel18->setFixedSize(23, 23);
    Shape1 = new Indicator(panel18);
    Shape1->setObjectName("Shape1");
    Shape1->setGeometry(4, 4, 15, 15);
    status->addWidget(panel18);
    ProgressBar1 = new QProgressBar;
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setFixedWidth(150);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();
    status->addWidget(ProgressBar1);
    Panel2 = new QLabel;
    Panel2->setObjectName("Panel2");
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Panel2->setMinimumWidth(10);
    Panel2->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    status->addWidget(Panel2, 1);
    ProgressBar2 = new QProgressBar;
    ProgressBar2->setObjectName("ProgressBar2");
    ProgressBar2->setFixedWidth(150);
    ProgressBar2->setRange(0, 100);
    ProgressBar2->setTextVisible(false);
    status->addWidget(ProgressBar2);
    column->addWidget(panel1);
    nameMainWindow(*this);
}

void TForm1::FormCreate() {
    firstActivation = true;
    currentSite = 1;
    Setup1->setEnabled(false);
    if (!arguments_.isEmpty() && upperAZ(toAnsi(arguments_.first())) == "PARENT") Setup1->setEnabled(true);
    Shape1->hide();
}

void TForm1::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() != QEvent::ActivationChange) return;
    if (isActiveWindow())
        FormActivate();
    else
        FormDeactivate();
}

void TForm1::FormActivate() {
    // The sequence runs once to its end; an activation while it processes messages,
    // or the one that closing its own error box causes, does not start it again.
    if (!firstActivation || startupRunning_ || !activationArmed_) return;
    startupRunning_ = true;
    bool finished = false;
    guarded([&] {
        runStartup();
        finished = true;
    });
    startupRunning_ = false;
    if (!finished) activationArmed_ = false;
}

void TForm1::FormDeactivate() {
    // Leaving for another window re-arms a failed start-up; our own modal boxes do not.
    if (!QApplication::activeModalWidget()) activationArmed_ = true;
}

void TForm1::runStartup() {
    Form3->FormShow();
    currentSite = 0;
    for (int n = 1; n <= 9; ++n) {
        startAddresses[n] = resolveStartAddress(startAddresses[n], programDir);
        if (!startAddresses[n].empty() && currentSite == 0) currentSite = n;
    }
    // The rules of data.dat are in force from the start; an automatic update replaces
    // them only when it stores a whole list, and whatever it does, the first list page
    // opens (its errors are still shown).
    const bool automatic = Form3->option(OptAutomatic);
    watcher_->follow();
    if (!automatic || fileExists(programDir + "data.dat")) ReadSetupFromData();
    if (automatic) guarded([this] { UpdateData(); });
    ProcessMessages();
    // With no site address the list pane shows an empty page.
    navigateLeft(currentSite == 0 ? std::string("about:blank") : startAddresses[currentSite]);
    firstActivation = false;
}

void TForm1::navigateLeft(const std::string& address) {
    programNavigating = true;
    struct Clear {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{programNavigating};
    WebBrowser1->Navigate(fromAnsi(address));
}

void TForm1::ReadSetupFromData() { readDataFile(programDir, Memo1, lists); }

void TForm1::setSetupWindow(TForm3* form3) {
    Form3 = form3;
    download_->setSettings(form3);
}

void TForm1::UpdateData() { download_->UpdateData(); }

void TForm1::hideUpdateIndicator() { Shape1->hide(); }

TBinaryClient& TForm1::HttpClient() { return download_->HttpClient; }

bool TForm1::urlok(const QString& url) const {
    return requestAllowed(toAnsi(url), RequestKind::Navigation, *Form3, lists, programDir);
}

bool TForm1::allows(std::string_view address, RequestKind kind) const {
    // A site's list page is the program's own load, whatever the rules say of its host:
    // the secure connection to that host is kept open for it.
    const EngineAddress engine(address);
    if (kind == RequestKind::Tunnel && engine.readable()) {
        const std::string host(hostOf(normalisedAddress(engine.text())));
        for (int n = 1; n <= 9; ++n) {
            if (startAddresses[n].empty()) continue;
            const EngineAddress start(startAddresses[n]);
            if (start.readable() && hostOf(normalisedAddress(start.text())) == host) return true;
        }
    }
    return requestAllowed(engine, kind, *Form3, lists, programDir);
}

RulesState TForm1::rulesState() const {
    unsigned switches = Form3->onlyApproved();
    for (int position : {OptEmail, OptFtp, OptPredefined, OptParent}) switches = switches << 1 | Form3->option(position);
    return {lists.revision(), Form3->parentListRevision(), switches};
}

bool TForm1::safeSearch() const { return Form3->safeSearch(); }

bool TForm1::MainUrlOk(const QString& url) {
    // Asked only after urlok approved the same address: it can be read.
    if (::MainUrlOk(EngineAddress(toAnsi(url)).text(), currentSite, *Form3, lists)) return true;
    message(VerifyRefusedText);
    return false;
}

void TForm1::message(const char* text) { dialogs_.messageBox(text, "Error"); }

void TForm1::WebBrowser1BeforeNavigate(const QString& url, bool& cancel) {
    if (programNavigating) {
        ProgressBar1->show();
        return;
    }
    cancel = true;
    if (urlok(url) && MainUrlOk(url))
        WebBrowser2->Navigate(url);
    else
        refuse(url, "left", RefusedLeftText);
}

void TForm1::WebBrowser2BeforeNavigate(const QString& url, bool& cancel) {
    if (urlok(url)) return;
    cancel = true;
    WebBrowser2->Stop();
    refuse(url, "right", RefusedRightText);
}

void TForm1::WebBrowser1NewWindow(const QString&, bool& processed) {
    if (!Form3->option(OptNewWindow)) return;
    message(NewWindowText);
    processed = true;
}

void TForm1::WebBrowser2NewWindow(const QString& url, bool& processed) { WebBrowser1NewWindow(url, processed); }

void TForm1::WebBrowser1ProgressChange(int progress, int progressMax) {
    progressRule(ProgressBar1, WebBrowser1, progress, progressMax);
}

void TForm1::WebBrowser2ProgressChange(int progress, int progressMax) {
    progressRule(ProgressBar2, WebBrowser2, progress, progressMax);
}

void TForm1::WebBrowser1NavigateComplete(const QString& url) {
    leftPage_ = pageOf(toAnsi(url));
    WebBrowser1->widget()->unsetCursor();
    ProgressBar1->hide();
}

void TForm1::WebBrowser2NavigateComplete(const QString&) { WebBrowser2->widget()->unsetCursor(); }

void TForm1::WebBrowser2StatusTextChange(const QString& text) { Panel2->setText(fromAnsi(toAnsi(text))); }

void TForm1::WebBrowser2TitleChange(const QString& text) {
    setWindowTitle("Wenlow Explorer - " + fromAnsi(toAnsi(text)));
}

void TForm1::Setup1Click() {
    if (arguments_.isEmpty() || upperAZ(toAnsi(arguments_.first())) != "PARENT") return;
    if (Form3->isVisible()) {
        Form3->setWindowState(Form3->windowState() & ~Qt::WindowMinimized);
        Form3->raise();
        Form3->activateWindow();
        return;
    }
    Form3->show();
}

void TForm1::N1Click() { Terminate(); }

void TForm1::closeEvent(QCloseEvent* e) {
    // Closing the main window ends the program, whatever other window is open.
    e->accept();
    Terminate();
}

void TForm1::Contents1Click() { dialogs_.showHelp(programDir + "wenlow.hlp", 1); }

void TForm1::About1Click() { AboutBox->exec(); }

void TForm1::siteClick(int site) {
    currentSite = site;
    navigateLeft(startAddresses[site]);
    FlatAllButtons();
    siteButton[site]->setAutoRaise(false);
}

void TForm1::FlatAllButtons() {
    for (int n = 1; n <= 9; ++n) siteButton[n]->setAutoRaise(true);
}

void TForm1::SpeedButton5Click() {
    try {
        WebBrowser2->GoBack();
    } catch (const std::exception&) {
        // No history: nothing to show.
    }
}

void TForm1::SpeedButton6Click() {
    try {
        WebBrowser2->GoForward();
    } catch (const std::exception&) {
    }
}

void TForm1::SpeedButton7Click() { WebBrowser2->Stop(); }

void TForm1::SpeedButton8Click() {
    try {
        WebBrowser2->Refresh();
    } catch (const std::exception&) {
    }
}

void TForm1::clearStartAddresses() {
    for (auto& a : startAddresses) a.clear();
}

void TForm1::setStartAddress(int site, const std::string& address) { startAddresses[site] = address; }

void TForm1::showSiteSlot(int site, bool shown) { siteSlot[site]->setVisible(shown); }

void TForm1::setSiteLabel(int site, const std::string& label) {
    siteSlot[site]->setFixedWidth(fitCaption(siteButton[site], fromAnsi(label), 13, 47, 80));
    nameSiteButton(siteButton[site], site);
}

void TForm1::setSitePicture(int site, const QPixmap& picture) {
    siteButton[site]->setIcon(picture);
    siteButton[site]->setIconSize(picture.size().boundedTo(QSize(32, 28)));
}
