#include "platform/dialogs.h"

#include "platform/errors.h"
#include "platform/text.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QMessageBox>
#include <QTextBrowser>

namespace {

const char* const AppTitle = "Wenlow Explorer";

QWidget* activeParent() { return QApplication::activeWindow(); }

}  // namespace

void QtDialogs::messageBox(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, fromAnsi(caption), fromAnsi(text), QMessageBox::Ok | QMessageBox::Cancel,
                    activeParent());
    box.exec();
}

std::optional<std::string> QtDialogs::refusalBox(const std::string& text, const std::string& caption, bool canAsk) {
    QMessageBox box(QMessageBox::NoIcon, fromAnsi(caption), fromAnsi(text), QMessageBox::Ok | QMessageBox::Cancel,
                    activeParent());
    QPushButton* ask = box.addButton(AskButtonText, QMessageBox::ActionRole);
    ask->setEnabled(canAsk);
    if (!canAsk) box.setInformativeText(AskedAlreadyText);
    box.exec();
    if (box.clickedButton() != ask) return std::nullopt;
    QInputDialog note(activeParent());
    note.setWindowTitle(AskCaption);
    note.setLabelText(AskNoteText);
    if (auto* edit = note.findChild<QLineEdit*>()) edit->setMaxLength(200);
    if (note.exec() != QDialog::Accepted) return std::nullopt;
    return toAnsi(note.textValue().simplified());
}

void QtDialogs::errorBox(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, AppTitle, fromAnsi(text), QMessageBox::Ok, activeParent());
    box.exec();
}

std::optional<std::string> QtDialogs::openPicture(const std::string& filter) {
    const QString file = QFileDialog::getOpenFileName(activeParent(), QString(), QString(), fromAnsi(qtFileFilter(filter)));
    if (file.isEmpty()) return std::nullopt;
    return toAnsi(file);
}

void QtDialogs::showHelp(const std::string& helpFile, int context) {
    const QString path = fromAnsi(helpFile);
    if (!QFile::exists(path)) throw EFileError(fillIn("Cannot open file %s", helpFile));
    auto* viewer = qobject_cast<QTextBrowser*>(help_);
    if (!viewer) {
        viewer = new QTextBrowser;
        viewer->setAttribute(Qt::WA_DeleteOnClose, false);
        viewer->setWindowTitle(QString("%1 Help").arg(AppTitle));
        viewer->resize(520, 480);
        help_ = viewer;
    }
    // The help file is HTML; each context number is an anchor "context-N".
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(QString("context-%1").arg(context));
    viewer->setSource(url, QTextDocument::HtmlResource);
    viewer->show();
    viewer->raise();
}

std::string qtFileFilter(const std::string& filter) {
    std::string out;
    size_t pos = 0;
    while (pos <= filter.size()) {
        const size_t bar = filter.find('|', pos);
        const std::string name = filter.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos);
        std::string pattern;
        if (bar != std::string::npos) {
            const size_t next = filter.find('|', bar + 1);
            pattern = filter.substr(bar + 1, next == std::string::npos ? std::string::npos : next - bar - 1);
            pos = next == std::string::npos ? filter.size() + 1 : next + 1;
        } else {
            pos = filter.size() + 1;
        }
        for (char& c : pattern)
            if (c == ';') c = ' ';
        if (!out.empty()) out += ";;";
        out += name.find('(') != std::string::npos ? name : name + " (" + pattern + ")";
    }
    return out;
}
