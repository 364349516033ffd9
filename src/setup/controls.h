#pragma once
// Making the setup window's controls: each at its fixed place, with its design name.
#include "platform/errors.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <limits>

template <class W>
W* place(W* w, int x, int y, int width, int height, const char* name = nullptr) {
    w->setGeometry(x, y, width, height);
    if (name) w->setObjectName(name);
    return w;
}

inline QPushButton* button(QWidget* parent, const char* caption, int x, int y, int w, int h, const char* name) {
    auto* b = place(new QPushButton(caption, parent), x, y, w, h, name);
    b->setAutoDefault(false);
    return b;
}

inline QCheckBox* checkBox(QWidget* parent, const char* caption, int x, int y, int w, const char* name) {
    return place(new QCheckBox(caption, parent), x, y, w, 17, name);
}

inline QRadioButton* radioButton(QWidget* parent, const char* caption, int x, int y, int w, const char* name) {
    return place(new QRadioButton(caption, parent), x, y, w, 17, name);
}

inline QLineEdit* edit(QWidget* parent, int x, int y, int w, const char* name, bool password = false) {
    auto* e = place(new QLineEdit(parent), x, y, w, 21, name);
    // A box holds a stored setting whole: the toolkit would cut it at 32767 characters.
    e->setMaxLength(std::numeric_limits<int>::max());
    if (password) {
        e->setEchoMode(QLineEdit::Password);
        e->setStyleSheet("lineedit-password-character: 42");  // "*" for each character
    }
    return e;
}

// Runs a handler inside the guard when a button is pressed.
template <class Handler>
void onClick(QAbstractButton* b, QObject* context, Handler h) {
    QObject::connect(b, &QAbstractButton::clicked, context, [h] { guarded(h); });
}
