#include "shell/scriptedpane.h"

#include "platform/errors.h"

#include <QWidget>

ScriptedPane::ScriptedPane(QWidget* parent) : widget_(new QWidget(parent)) {}

ScriptedPane::~ScriptedPane() = default;

void ScriptedPane::Navigate(const QString& url) {
    navigateCalls << url;
    if (!raiseBeforeNavigate(url)) load(url);
}

bool ScriptedPane::clickLink(const QString& url) {
    if (raiseBeforeNavigate(url)) return false;
    load(url);
    return true;
}

void ScriptedPane::requestNewWindow(const QString& url) {
    if (!raiseNewWindow(url)) clickLink(url);
}

void ScriptedPane::load(const QString& url) {
    history_ = history_.mid(0, index_ + 1);
    history_ << url;
    index_ = static_cast<int>(history_.size()) - 1;
    current = url;
    raiseProgressChange(0, 100);
    if (!completeLoads) return;
    raiseProgressChange(100, 100);
    raiseNavigateComplete(url);
    raiseProgressChange(-1, 100);
}

void ScriptedPane::GoBack() {
    if (index_ <= 0) throw Exception("Unspecified error");
    current = history_[--index_];
    raiseNavigateComplete(current);
}

void ScriptedPane::GoForward() {
    if (index_ + 1 >= history_.size()) throw Exception("Unspecified error");
    current = history_[++index_];
    raiseNavigateComplete(current);
}

void ScriptedPane::Refresh() {
    if (current.isEmpty()) throw Exception("Unspecified error");
    raiseNavigateComplete(current);
}

void ScriptedPane::Stop() { ++stopCalls; }
