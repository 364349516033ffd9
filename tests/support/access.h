#pragma once
// Reads a window's accessibility tree as a screen reader reads it.
#include <QAccessible>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Something a user acts on or is told a state by: a screen reader must say what it is.
// Items of a list and a page's own content are the contents, not controls.
inline bool isControl(QAccessibleInterface* a) {
    switch (a->role()) {
    case QAccessible::ListItem:
    case QAccessible::TreeItem:
    case QAccessible::Cell:
    case QAccessible::Row:
    case QAccessible::StaticText:
    case QAccessible::WebDocument:
    case QAccessible::Separator: return false;
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::EditableText:
    case QAccessible::ComboBox:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::List:
    case QAccessible::Table:
    case QAccessible::Tree:
    case QAccessible::PageTab:
    case QAccessible::ProgressBar:
    case QAccessible::Indicator:
    case QAccessible::MenuItem:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Link: return true;
    default: return a->state().focusable;
    }
}

inline std::string describeNode(QAccessibleInterface* a) {
    QString what = a->object() && !a->object()->objectName().isEmpty() ? a->object()->objectName()
                                                                       : QString("role %1").arg(a->role());
    return (what + " '" + a->text(QAccessible::Name) + "'").toStdString();
}

// Walks the nodes under root, parents first; a node for which `enter` is false is
// neither visited nor entered.
inline void walkTree(QAccessibleInterface* root, const std::function<bool(QAccessibleInterface*)>& enter,
                     const std::function<void(QAccessibleInterface*)>& visit) {
    if (!root || !root->isValid() || !enter(root)) return;
    visit(root);
    for (int i = 0; i < root->childCount(); ++i) walkTree(root->child(i), enter, visit);
}

struct TreeFindings {
    int controls = 0;
    std::vector<std::string> unnamed;     // shown controls without a name
    std::vector<std::string> alike;       // shown controls of one kind with the same name
    std::vector<std::string> emptyPages;  // page documents that expose nothing of their page
};

// What a screen reader finds in the shown part of a window. A page's own content is its
// author's; only whether there is any counts here.
inline TreeFindings readTree(QAccessibleInterface* window) {
    TreeFindings found;
    std::map<std::pair<int, QString>, std::string> seen;
    walkTree(
        window,
        [&](QAccessibleInterface* a) {
            if (a->state().invisible) return false;
            if (a->role() != QAccessible::WebDocument) return true;
            // A page says which pane it is in.
            if (a->parent()->text(QAccessible::Name).isEmpty()) found.unnamed.push_back(describeNode(a->parent()));
            if (a->childCount() == 0) found.emptyPages.push_back(describeNode(a->parent()));
            return false;
        },
        [&](QAccessibleInterface* a) {
            if (a == window || !isControl(a)) return;
            ++found.controls;
            const QString name = a->text(QAccessible::Name).trimmed();
            if (name.isEmpty()) found.unnamed.push_back(describeNode(a));
            auto [at, fresh] = seen.emplace(std::make_pair(int(a->role()), name), describeNode(a));
            if (!fresh && !name.isEmpty()) found.alike.push_back(at->second + " / " + describeNode(a));
        });
    return found;
}

// The controls under root, shown or not, that an accessibility action could still act
// on, leaving out the parts for which `open` is true.
inline std::vector<std::string> actionable(QAccessibleInterface* root, const std::function<bool(QObject*)>& open) {
    std::vector<std::string> enabled;
    walkTree(
        root, [&](QAccessibleInterface* a) { return !a->object() || !open(a->object()); },
        [&](QAccessibleInterface* a) {
            if (a != root && isControl(a) && !a->state().disabled) enabled.push_back(describeNode(a));
        });
    return enabled;
}
