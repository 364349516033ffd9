#include "shell/access.h"

#include "shell/form1.h"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

namespace {

const char* const PageAccessibility = "QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY";

void name(QWidget* w, const QString& name, const QString& description = {}) {
    w->setAccessibleName(name);
    w->setAccessibleDescription(description);
}

// Tab goes from "Reload" to the list pane, then to the page pane. The engine puts a new
// widget into a pane for its pages now and then, which takes the focus for the pane and
// joins the Tab order wherever it was made; so the order is set again for each, the
// pane and its widget moving as one.
class PaneOrder : public QObject {
public:
    PaneOrder(QWidget* before, QWidget* list, QWidget* page) : QObject(before), before_(before), list_(list), page_(page) {
        list->installEventFilter(this);
        page->installEventFilter(this);
        order();
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::ChildAdded) QMetaObject::invokeMethod(this, [this] { order(); }, Qt::QueuedConnection);
        return false;
    }

private:
    void order() {
        for (QWidget* pane : {list_, page_})
            if (pane->focusProxy()) pane->setFocusPolicy(pane->focusProxy()->focusPolicy());
        QWidget::setTabOrder(before_, list_);
        QWidget::setTabOrder(list_, page_);
    }

    QWidget* before_;
    QWidget* list_;
    QWidget* page_;
};

}  // namespace

void enablePageAccessibility() {
    // The engine asks only whether the variable is set.
    if (qgetenv(PageAccessibility) == "0")
        qunsetenv(PageAccessibility);
    else
        qputenv(PageAccessibility, "1");
}

void nameSiteButton(QToolButton* button, int site) {
    button->setAccessibleName(button->text().isEmpty() ? QString("Site %1").arg(site) : QString());
}

void nameMainWindow(TForm1& f) {
    QWidget* list = f.WebBrowser1->widget();
    QWidget* page = f.WebBrowser2->widget();
    name(list, "Approved sites", "The list page of the chosen site button; its links open on the right");
    name(page, "Web page", "The page opened from the list");
    new PaneOrder(f.SpeedButton8, list, page);

    if (auto* bar = f.findChild<QWidget*>("Panel1")) name(bar, "Status bar");
    // The text names itself: it is what the status bar says.
    f.Panel2->setAccessibleDescription("Status text");
    name(f.Shape1, "Link lists updated", "A new download of the link lists has been stored");
    name(f.ProgressBar1, "Loading the list page");
    name(f.ProgressBar2, "Loading the web page");
}
