// Writes pictures of the windows to a folder, for checking the layout by eye:
//   build/tests/window_shots OUTDIR
#include "support/program.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QTabWidget>

namespace {

class Shots : public ProgramTest {
public:
    void TestBody() override {}
    void run(const QString& out) {
        dir.write("sources.txt", "https://lists.example.org/adult/domains domains block\n"
                                 "https://lists.example.org/ads.txt adblock block\n"
                                 "https://school.example.net/kids.txt domains allow\n");
        start({"PARENT"});
        form1->Setup1Click();
        form3->ButtonLabels[2] = "Homework!!";  // the longest label a parent can type
        form3->UpdateButtons();
        QApplication::processEvents();
        save(form1, out + "/main.png");
        save(form3, out + "/gate.png");
        form3->Edit1->setText("parent");
        form3->Button4Click();
        // The longest outcome a download says, to see it fits its place.
        form3->showUpdateOutcome(true, "stored 28357294 bytes: 1100000 entries, signed with key 93714bcb68ff7846, "
                                       "number 1796778223");
        for (int page = 0; page < form3->SetupTabs->count(); ++page) {
            form3->SetupTabs->setCurrentIndex(page);
            QApplication::processEvents();
            save(form3, out + QString("/page%1.png").arg(page + 1));
        }
        form3->addParentEntry(ParentKind::ApproveSite, "www.kids.example");
        form3->addParentEntry(ParentKind::ApproveAddress, "learn.example/maths/");
        form3->addParentEntry(ParentKind::BlockSite, "chat.kids.example");
        form3->SetupTabs->setCurrentIndex(2);
        QApplication::processEvents();
        save(form3, out + "/page3-sites.png");
        form3->SetupTabs->setCurrentIndex(0);
        form3->ApprovedDialog->open();
        QApplication::processEvents();
        save(form3->ApprovedDialog, out + "/approved.png");
        form3->ApprovedDialog->accept();
        form3->SetupTabs->setCurrentIndex(3);
        form3->pictureButtonClick(2);
        QApplication::processEvents();
        save(form3, out + "/editor.png");
    }
    static void save(QWidget* w, const QString& file) { w->grab().save(file); }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : QDir::tempPath();
    Shots shots;
    shots.run(out);
    return 0;
}
