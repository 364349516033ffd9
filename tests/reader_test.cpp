// The program as a screen reader finds it, started after the program as one often is:
// the real engine on a display, the AT-SPI bus on a private D-Bus session, the tree read
// through Qt's accessibility interfaces, which Qt's bridge hands the bus.
#include "support/access.h"
#include "support/endtoend.h"
#include "support/screenreader.h"

#include <QApplication>
#include <QTest>
#include <QToolButton>

namespace {

QAccessibleInterface* of(QObject* o) { return QAccessible::queryAccessibleInterface(o); }

// The names of the nodes of one role under a node, in order.
QStringList named(QAccessibleInterface* root, QAccessible::Role role) {
    QStringList names;
    walkTree(root, [](QAccessibleInterface*) { return true; },
             [&](QAccessibleInterface* a) {
                 if (a->role() == role) names << a->text(QAccessible::Name);
             });
    return names;
}

class ScreenReader : public EndToEnd {
protected:
    static void SetUpTestSuite() { reader = new ScreenReaderBus; }
    static void TearDownTestSuite() {
        delete reader;
        reader = nullptr;
    }

    // Both panes with a list page: the sample's first on the left, its second opened on
    // the right.
    void SetUp() override {
        ASSERT_EQ(reader->error, "");
        ASSERT_TRUE(waitFor([] { return QAccessible::isActive(); })) << "Qt did not hear the screen reader start";
        start();
        QApplication::setActiveWindow(form1);
        form1->WebBrowser2->Navigate(QString::fromStdString(dir.file("list2.html")));
        for (BrowserPane* pane : {form1->WebBrowser1, form1->WebBrowser2})
            ASSERT_TRUE(waitFor([&] { return named(of(pane->widget()), QAccessible::Link).size() >= 3; }))
                << "no links read in " << pane->widget()->objectName().toStdString();
    }

    // Where the keyboard is, as a screen reader says it.
    static QString focusSaid() {
        QWidget* at = QApplication::focusWidget();
        if (!at) return "nothing";
        for (QWidget* pane = at; pane; pane = pane->parentWidget())
            if (qobject_cast<QWebEngineView*>(pane)) {
                QAccessibleInterface* in = of(at)->focusChild();
                return of(pane)->text(QAccessible::Name) + ": " + (in ? in->text(QAccessible::Name) : "");
            }
        return of(at)->text(QAccessible::Name);
    }

    static ScreenReaderBus* reader;
};

ScreenReaderBus* ScreenReader::reader = nullptr;

}  // namespace

// Each pane says which it is and reads its page: heading, list, named links; the rest
// of the window names every control.
TEST_F(ScreenReader, PanesReadTheirPagesAndEveryControlIsNamed) {
    const TreeFindings found = readTree(of(form1));
    EXPECT_EQ(found.unnamed, std::vector<std::string>());
    EXPECT_EQ(found.alike, std::vector<std::string>());
    EXPECT_EQ(found.emptyPages, std::vector<std::string>());

    QAccessibleInterface* list = of(form1->WebBrowser1->widget());
    EXPECT_EQ(list->text(QAccessible::Name), "Approved sites");
    EXPECT_EQ(named(list, QAccessible::WebDocument), QStringList{"Cool Sites"});
    EXPECT_EQ(named(list, QAccessible::Heading), QStringList{"Cool Sites"});
    EXPECT_EQ(named(list, QAccessible::ListItem).size(), 4);
    EXPECT_EQ(named(list, QAccessible::Link),
              (QStringList{"NASA for kids", "National Geographic Kids", "PBS Kids games", "Britannica Kids"}));
    QAccessibleInterface* page = of(form1->WebBrowser2->widget());
    EXPECT_EQ(page->text(QAccessible::Name), "Web page");
    EXPECT_EQ(named(page, QAccessible::Link), (QStringList{"Science Kids", "Science at Nat Geo Kids", "NASA"}));
}

// Tab from the first site button: the buttons, the navigation bar, the list's links,
// the page's links, and round to the first button again.
TEST_F(ScreenReader, TabGoesThroughTheButtonsAndBothPanesInTurn) {
    QApplication::setActiveWindow(form1);
    form1->siteButton[1]->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), form1->siteButton[1]);
    QStringList heard{focusSaid()};
    for (int i = 0; i < 20 && (heard.size() == 1 || heard.back() != heard.front()); ++i) {
        ASSERT_NE(QApplication::focusWidget(), nullptr) << heard.join(", ").toStdString();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        // The engine moves the focus within a page on its own time, and may pass the
        // page itself on the way to its first link.
        waitFor([&] { return focusSaid() != heard.back(); }, 3000);
        for (QString now; now != focusSaid();) {
            now = focusSaid();
            waitFor([] { return false; }, 300);
        }
        heard << focusSaid();
    }
    EXPECT_EQ(heard.join(" | ").toStdString(),
              "Local | Learn | Zoo | Games | Last | Next | Stop | Reload | Approved sites: NASA for kids | "
              "Approved sites: National Geographic Kids | Approved sites: PBS Kids games | "
              "Approved sites: Britannica Kids | Web page: Science Kids | Web page: Science at Nat Geo Kids | "
              "Web page: NASA | Local");
}
