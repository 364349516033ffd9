// The "Buttons" page of the setup window: each row's enable box, address and picture,
// the "Default" buttons, and the editor of a button's label and picture.
#include "setup/form3.h"

#include "data/files.h"
#include "data/flags.h"
#include "data/setupfiles.h"
#include "platform/bitmap.h"
#include "platform/dialogs.h"
#include "platform/fonts.h"
#include "platform/text.h"
#include "setup/access.h"
#include "setup/mainlink.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

void TForm3::CheckBoxEnableClick(int row) { addressBox[row]->setEnabled(enableBox[row]->isChecked()); }

std::string TForm3::picturePath(const std::string& name, int site) const {
    if (name.empty()) return programDir_ + DefaultPictures[site];
    if (name.find_first_of("/\\") != std::string::npos) return name;
    return programDir_ + name;
}

void TForm3::UpdateButtons() {
    for (int i = 1; i <= 9; ++i) {
        const std::string path = picturePath(PictureFiles[i], i);
        // A wide one grows to the left, as far as the enable box, clear of the address box.
        const int width = fitCaption(pictureButton[i], fromAnsi(ButtonLabels[i]), 13, 47, 63);
        pictureButton[i]->move(std::min(32, 89 - width), pictureButton[i]->y());
        namePictureButton(pictureButton[i], i);
        const QPixmap picture = loadBitmap(path);
        pictureButton[i]->setIcon(picture);
        pictureButton[i]->setIconSize(picture.size().boundedTo(QSize(32, 28)));
        main_.setSiteLabel(i, ButtonLabels[i]);
        main_.setSitePicture(i, loadBitmap(path));
    }
}

void TForm3::pictureButtonClick(int row) {
    SelectedButton = row;
    ShowButtonPanel();
}

void TForm3::previewPicture(const std::string& name) {
    // Bare names come from the program folder, as on the buttons themselves: this
    // process's current folder is not the program folder.
    const QPixmap picture = loadBitmap(picturePath(name, SelectedButton));
    SpeedButton5->setIcon(picture);
    SpeedButton5->setIconSize(picture.size().boundedTo(QSize(32, 28)));
}

void TForm3::ShowButtonPanel() {
    const int s = SelectedButton;
    HelpTopic = 14;
    fitCaption(SpeedButton5, fromAnsi(ButtonLabels[s]), 13, 47, 90);
    previewPicture(PictureFiles[s]);
    Edit13->setText(fromAnsi(ButtonLabels[s]));
    Edit14->setText(fromAnsi(PictureFiles[s]));
    Panel6->show();
    Panel6->raise();
}

void TForm3::Button9Click() { fitCaption(SpeedButton5, Edit13->text(), 13, 47, 90); }

void TForm3::Button10Click() {
    if (auto file = dialogs_.openPicture("Bitmaps (*.bmp)|*.bmp")) Edit14->setText(fromAnsi(*file));
}

void TForm3::Button11Click() { previewPicture(toAnsi(Edit14->text())); }

void TForm3::Button14Click() {
    Edit14->setText(fromAnsi(DefaultPictures[SelectedButton]));
    previewPicture(DefaultPictures[SelectedButton]);
}

void TForm3::Button12Click() {
    HelpTopic = 13;
    ButtonLabels[SelectedButton] = toAnsi(Edit13->text());
    PictureFiles[SelectedButton] = toAnsi(Edit14->text());
    UpdateButtons();
    Panel6->hide();
}

void TForm3::Button13Click() {
    HelpTopic = 13;
    Panel6->hide();
}

void TForm3::ButtonDefault(int row) {
    const DefaultsValues d = readDefaultsFile(programDir_ + "default.dat");
    verifyBox[row]->setChecked(flagAt(d.verifyLine, row));
    const bool enabled = flagAt(d.enableLine, row);
    enableBox[row]->setChecked(enabled);
    addressBox[row]->setText(enabled ? fromAnsi(d.addresses[row - 1]) : QString());
}
