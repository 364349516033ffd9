#include "setup/access.h"

#include "setup/form3.h"
#include "setup/sourcespage.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QTreeWidget>

namespace {

void name(QWidget* w, const QString& name, const QString& description = {}) {
    w->setAccessibleName(name);
    w->setAccessibleDescription(description);
}

void describe(QWidget* w, const QString& description) { w->setAccessibleDescription(description); }

// The gate's labels stay as they are; each names the box below it for a screen reader.
void label(TForm3& form, const char* label, QWidget* box) {
    if (auto* l = form.findChild<QLabel*>(label)) l->setBuddy(box);
}

}  // namespace

void namePictureButton(QToolButton* button, int row) {
    const QString site = QString("Site button %1").arg(row);
    button->setAccessibleName(button->text().isEmpty() ? site : site + ": " + button->text());
}

void nameSetupControls(TForm3& f) {
    describe(f.Button1, "Saves every page and closes the setup");
    describe(f.Button8, "Closes the setup without saving");
    describe(f.Button15, "Help on the page shown");
    name(f.SetupTabs, "Setup pages");

    // The gate: three password boxes under one group title must not sound alike.
    label(f, "Label1", f.Edit1);
    label(f, "Label2", f.Edit15);
    label(f, "Label3", f.Edit16);
    name(f.Edit1, "Password", "Enter your password and click OK");
    describe(f.Button4, "Opens the setup with the password above");
    name(f.Edit15, "Current password");
    name(f.Edit16, "New password");
    name(f.Edit17, "New password again", "The new password once more, to be sure of it");
    describe(f.Button16, "Stores the new password and closes the setup");

    describe(f.Button2, "Checks all six options above");
    describe(f.Button3, "Unchecks all six options above");

    name(f.Edit11, "Update address", "Host name and path of the link lists, used with URL Specified Below");
    describe(f.Button5, "Downloads the link lists now");
    name(f.PredefBlocks, "Predefined blocked links");

    name(f.Edit12, "Address to block", "Typed here, then Add To List");
    describe(f.Button6, "Adds the address typed above to the parent defined blocked links");
    name(f.ParentBlocks, "Parent defined blocked links");

    name(f.Sources->sources, "List sources", "The lists the link lists are built from, and when each was last fetched");

    // Tab goes from the page tabs straight to the first row; the area scrolls to the
    // focused control by itself.
    f.ScrollBox1->setFocusPolicy(Qt::NoFocus);
    name(f.ScrollBox1, "Site buttons");
    for (int i = 1; i <= 9; ++i) {
        name(f.enableBox[i], QString("Show site button %1").arg(i), "Checked: the button is shown in the main window");
        namePictureButton(f.pictureButton[i], i);
        describe(f.pictureButton[i], "Opens the editor of its label and picture");
        name(f.addressBox[i], QString("Start address of site button %1").arg(i),
             "The list page the button opens in the left pane");
        name(f.verifyBox[i], QString("Verify links of site button %1").arg(i),
             "Links followed from its list page must be approved addresses");
        name(f.defaultButton[i], QString("Default for site button %1").arg(i), "Restores this row from the defaults");
    }

    name(f.Panel6, "Button editor");
    // The preview only shows; the keyboard has nothing to do there.
    f.SpeedButton5->setFocusPolicy(Qt::NoFocus);
    name(f.SpeedButton5, "Button preview", "The label and picture being edited");
    name(f.Edit13, "Button label", "At most 10 characters");
    name(f.Button9, "Preview label");
    name(f.Edit14, "Picture file name", "A bitmap file (.bmp)");
    name(f.Button10, "Browse for a picture");
    name(f.Button11, "Preview picture");
    name(f.Button14, "Default picture");
    describe(f.Button12, "Keeps this label and picture");
    describe(f.Button13, "Closes the editor without keeping them");
}

namespace {

class KeyboardGuide : public QObject {
public:
    explicit KeyboardGuide(TForm3& form) : QObject(&form), form_(form) {
        form.SetupTabs->installEventFilter(this);
        form.Panel6->installEventFilter(this);
        for (QWidget* w : form.Panel6->findChildren<QWidget*>())
            if (w->focusPolicy() & Qt::TabFocus) w->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == form_.SetupTabs) {
            // The gate lets the pages be used: the parent is told which page is open.
            if (e->type() == QEvent::EnabledChange && form_.SetupTabs->isEnabled()) form_.SetupTabs->setFocus();
            return false;
        }
        if (watched == form_.Panel6) {
            // Opened and closed by the program, whichever page is shown: the rows under
            // the editor are out of reach while it is open.
            if (e->type() == QEvent::ShowToParent) opened();
            if (e->type() == QEvent::HideToParent) closed();
            return false;
        }
        if (e->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(e);
        const auto modifiers = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
        if (modifiers != Qt::NoModifier) return false;  // Ctrl+Tab still changes the page
        switch (key->key()) {
        case Qt::Key_Tab: return step(watched, 1);
        case Qt::Key_Backtab: return step(watched, -1);
        case Qt::Key_Escape: form_.Button13->click(); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // The setup's default button would save and close it, losing what was typed here.
            if (auto* button = qobject_cast<QPushButton*>(watched))
                button->click();
            else
                form_.Button12->click();
            return true;
        default: return false;
        }
    }

private:
    void opened() {
        form_.ScrollBox1->hide();
        form_.Edit13->setFocus(Qt::OtherFocusReason);
    }

    void closed() {
        form_.ScrollBox1->show();
        // Back where the parent opened it from, while the parent is on that page.
        if (form_.isVisible() && form_.SetupTabs->currentWidget() == form_.TabSheet4 && form_.Panel4->isHidden())
            form_.pictureButton[form_.SelectedButton]->setFocus(Qt::OtherFocusReason);
    }

    bool step(QObject* from, int by) {
        QList<QWidget*> stops;
        QWidget* panel = form_.Panel6;
        for (QWidget* w = panel->nextInFocusChain(); w != panel; w = w->nextInFocusChain())
            if (panel->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled())
                stops << w;
        const auto at = stops.indexOf(static_cast<QWidget*>(from));
        if (stops.isEmpty() || at < 0) return false;
        const auto n = stops.size();
        stops[((at + by) % n + n) % n]->setFocus(by > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }

    TForm3& form_;
};

}  // namespace

QObject* guideKeyboard(TForm3& form) { return new KeyboardGuide(form); }
