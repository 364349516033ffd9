#pragma once
// The program's windows on the real engine, with recording dialogs, a temporary program
// folder and, when a test gives them, records.
#include "records/records.h"
#include "shell/form1.h"
#include "shell/requestgate.h"
#include "shell/webpane.h"
#include "shell/windows.h"
#include "support/engine.h"
#include "support/recorder.h"
#include "support/tempdir.h"
#include "support/wait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>


class EndToEnd : public ::testing::Test {
protected:
    ProgramFolder dir{true};
    RecordingDialogs dialogs;
    const TForm1* rules = nullptr;
    ProtectedProfile profile{QWebEngineProfile::defaultProfile(),
                             [this](std::string_view address, RequestKind kind) {
                                 return rules && rules->allows(address, kind);
                             },
                             [this] { return rules ? rules->rulesState() : RulesState{}; }, dialogs, engineProxy()};
    std::unique_ptr<Records> records;  // set before start() to keep records
    ProgramWindows windows;
    TForm1* form1 = nullptr;
    WebEnginePane* left = nullptr;
    WebEnginePane* right = nullptr;
    QStringList leftAsked;   // addresses the left pane put to BeforeNavigate
    QStringList rightAsked;
    int leftLoads = 0;
    int rightLoads = 0;

    void start() {
        windows = createWindows(
            dialogs, dir.path(), {},
            [this](QWidget* parent) -> BrowserPane* { return new WebEnginePane(parent, &profile.gate()); },
            records.get());
        form1 = windows.form1.get();
        if (records)
            profile.gate().setRefusalCounter([this](const QUrl& page, const QUrl& address, bool frame) {
                form1->countRefused(page, address, frame);
            });
        rules = form1;
        left = static_cast<WebEnginePane*>(form1->WebBrowser1);
        right = static_cast<WebEnginePane*>(form1->WebBrowser2);
        watch(left, leftAsked, leftLoads);
        watch(right, rightAsked, rightLoads);
        form1->show();
        form1->FormActivate();
        ASSERT_TRUE(waitFor([&] { return leftLoads > 0; })) << "the first list page never loaded";
    }

    static void watch(BrowserPane* pane, QStringList& asked, int& loads) {
        auto before = pane->BeforeNavigate;
        pane->BeforeNavigate = [before, &asked](const QString& url, bool& cancel) {
            asked << url;
            before(url, cancel);
        };
        auto complete = pane->NavigateComplete;
        pane->NavigateComplete = [complete, &loads](const QString& url) {
            if (complete) complete(url);
            ++loads;
        };
    }

    ~EndToEnd() override { profile.gate().setRefusalCounter({}); }

    void click(WebEnginePane* pane, const QString& id) {
        pane->view()->page()->runJavaScript(QString("document.getElementById('%1').click();").arg(id));
    }
};

