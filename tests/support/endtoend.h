#pragma once
// The program's windows on the real engine, with recording dialogs, a temporary program
// folder and, when a test gives them, records.
#include "records/records.h"
#include "shell/browser.h"
#include "shell/form1.h"
#include "shell/webpane.h"
#include "support/engine.h"
#include "support/recorder.h"
#include "support/tempdir.h"
#include "support/wait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>


class EndToEnd : public ::testing::Test {
protected:
    ProgramFolder dir{true};
    RecordingDialogs dialogs;
    std::unique_ptr<Records> records;  // set before start() to keep records
    std::unique_ptr<Browser> browser;
    TForm1* form1 = nullptr;
    WebEnginePane* left = nullptr;
    WebEnginePane* right = nullptr;
    QStringList leftAsked;   // addresses the left pane put to BeforeNavigate
    QStringList rightAsked;
    int leftLoads = 0;
    int rightLoads = 0;

    void start() {
        browser = std::make_unique<Browser>(dialogs, dir.path(), QStringList(), engineProxy(), records.get());
        form1 = &browser->form1();
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

    void click(WebEnginePane* pane, const QString& id) {
        pane->view()->page()->runJavaScript(QString("document.getElementById('%1').click();").arg(id));
    }
};

