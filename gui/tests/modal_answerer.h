// Answers for the tests: a popup menu or a modal dialog taken as a user
// takes it, from a timer, while the code under test waits in its own loop.
#pragma once

#include <functional>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStringList>
#include <QTimer>
#include <QtTest>

namespace veltrano::testkit_qt {

// Answers the next popup menu or modal dialog, as a user would: `answer`
// gets it once it shows and says whether it has answered.
class Answerer final : public QObject {
public:
    using Answer = std::function<bool(QWidget*)>;
    explicit Answerer(Answer answer) : answer_(std::move(answer)) {
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* w = QApplication::activePopupWidget();
            if (w == nullptr) w = QApplication::activeModalWidget();
            // Answered once it has been up a few ticks, as a person would:
            // a dialog that has just opened may still be filling itself in.
            if (w == nullptr || !w->isVisible()) {
                seen_ = 0;
            } else if (!answered_ && ++seen_ >= 3) {
                answered_ = answer_(w);
            }
        });
        timer_.start(10);
    }
    bool answered() const { return answered_; }

private:
    Answer answer_;
    QTimer timer_;
    bool answered_ = false;
    int seen_ = 0;
};

// A menu's items as "text|key|enabled", then the item `pick` clicked, or
// the menu closed when there is none.
inline Answerer::Answer read_menu(QStringList& items, const QString& pick = {}) {
    return [&items, pick](QWidget* w) {
        auto* menu = qobject_cast<QMenu*>(w);
        if (menu == nullptr) return false;
        QAction* picked = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            items << a->text() + "|" + a->shortcut().toString() + "|" + (a->isEnabled() ? "on" : "off");
            if (a->text() == pick) picked = a;
        }
        if (picked != nullptr) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(picked).center());
        } else {
            menu->close();
        }
        return true;
    };
}

}  // namespace veltrano::testkit_qt
