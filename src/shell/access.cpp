#include "shell/access.h"

#include "shell/form1.h"

#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

namespace {

void name(QWidget* w, const QString& name, const QString& description = {}) {
    w->setAccessibleName(name);
    w->setAccessibleDescription(description);
}

}  // namespace

void nameSiteButton(QToolButton* button, int site) {
    button->setAccessibleName(button->text().isEmpty() ? QString("Site %1").arg(site) : QString());
}

void nameMainWindow(TForm1& f) {
    if (auto* bar = f.findChild<QWidget*>("Panel1")) name(bar, "Status bar");
    // The text names itself: it is what the status bar says.
    f.Panel2->setAccessibleDescription("Status text");
    name(f.Shape1, "Link lists updated", "A new download of the link lists has been stored");
    name(f.ProgressBar1, "Loading the list page");
    name(f.ProgressBar2, "Loading the web page");
}
