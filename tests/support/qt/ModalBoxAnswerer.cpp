#include "support/qt/ModalBoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>

namespace support {

namespace {

QString withoutMnemonic(QString text)
{
    return text.remove('&');
}

QString boxText(QWidget* widget)
{
    if (auto* box = qobject_cast<QMessageBox*>(widget)) {
        return box->text();
    }
    if (auto* label = widget->findChild<QLabel*>()) {
        return label->text();
    }
    return QString();
}

bool plainText(QWidget* widget)
{
    if (auto* box = qobject_cast<QMessageBox*>(widget)) {
        return box->textFormat() == Qt::PlainText;
    }
    if (auto* label = widget->findChild<QLabel*>()) {
        return label->textFormat() == Qt::PlainText;
    }
    return false;
}

} // namespace

ModalBoxAnswerer::ModalBoxAnswerer()
{
    connect(&mTimer, &QTimer::timeout, this, &ModalBoxAnswerer::poll);
    mTimer.start(5);
    QCoreApplication::instance()->installEventFilter(this);
}

ModalBoxAnswerer::~ModalBoxAnswerer()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool ModalBoxAnswerer::eventFilter(QObject* watched, QEvent* event)
{
    // A box shown and closed again while the timer had no turn (a busy machine) is still seen.
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && widget->isModal()) {
            record(widget);
        }
    }
    return QObject::eventFilter(watched, event);
}

void ModalBoxAnswerer::press(const QString& title, const QString& button)
{
    mRules[title] = button;
}

std::vector<ModalBoxAnswerer::Box> ModalBoxAnswerer::boxes(const QString& title) const
{
    std::vector<Box> result;
    std::copy_if(mBoxes.begin(), mBoxes.end(), std::back_inserter(result),
                 [&](const Box& box) { return box.title == title; });
    return result;
}

void ModalBoxAnswerer::poll()
{
    if (mInHook) {
        return;
    }
    // Every modal box that is up is recorded, also one that another modal box covers: only the
    // active one can be answered.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->isModal() && widget != QApplication::activeModalWidget()) {
            record(widget);
        }
    }
    QWidget* widget = QApplication::activeModalWidget();
    if (widget == nullptr || !widget->isVisible()) {
        return;
    }
    record(widget);
    auto rule = mRules.find(widget->windowTitle());
    if (rule == mRules.end()) {
        return;
    }
    if (beforeAnswer) {
        // No box is answered while the hook runs, also when it lets events be handled.
        QPointer<QWidget> box = widget;
        mInHook = true;
        beforeAnswer(widget);
        mInHook = false;
        if (box.isNull() || box != QApplication::activeModalWidget()) {
            return;
        }
    }
    if (clickButton(widget, rule->second)) {
        for (auto it = mBoxes.rbegin(); it != mBoxes.rend(); ++it) {
            if (it->title == rule->first && it->pressed.isEmpty()) {
                it->pressed = rule->second;
                break;
            }
        }
    }
}

void ModalBoxAnswerer::record(QWidget* widget)
{
    if (std::find(mSeen.begin(), mSeen.end(), widget) != mSeen.end()) {
        // A box is placed as it shows itself, after the first look.
        auto place = mPlaces.find(widget);
        if (place != mPlaces.end() && place->second < mBoxes.size()) {
            mBoxes[place->second].frame = widget->frameGeometry();
        }
        return;
    }
    mSeen.push_back(widget);
    // A widget deleted later may have its address reused by a new box.
    connect(widget, &QObject::destroyed, this, [this](QObject* gone) {
        mSeen.erase(std::remove(mSeen.begin(), mSeen.end(), gone), mSeen.end());
        mPlaces.erase(gone);
    });
    mPlaces[widget] = mBoxes.size();
    mBoxes.push_back(Box{widget->windowTitle(), boxText(widget), QString(), plainText(widget), widget->frameGeometry()});
}

bool clickButton(QWidget* widget, const QString& text)
{
    const auto buttons = widget->findChildren<QAbstractButton*>();
    for (QAbstractButton* button : buttons) {
        if (withoutMnemonic(button->text()) == text && !button->isHidden() && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    return false;
}

} // namespace support
