#include "shell/about.h"

#include "platform/errors.h"
#include "platform/fonts.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle("About Wenlow Explorer");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(designFont(14));
    setFixedSize(324, 208);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Box | QFrame::Raised);
    panel->setLineWidth(1);
    panel->setMidLineWidth(1);
    panel->setGeometry(10, 10, 303, 143);

    ProgramIcon = new QLabel(panel);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setGeometry(10, 10, 70, 70);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(70, 70));
    ProductName = new QLabel("Wenlow Explorer", panel);
    ProductName->move(108, 20);
    Version = new QLabel("Version 1.02", panel);
    Version->move(108, 49);
    Copyright = new QLabel("Copyright (C) the Wenlow Explorer developers", panel);
    Copyright->move(10, 98);

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(121, 166, 92, 30);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { guarded([this] { OKButtonClick(); }); });
}

void TAboutBox::OKButtonClick() { accept(); }
