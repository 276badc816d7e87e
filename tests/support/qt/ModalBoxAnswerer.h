#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <vector>

namespace support {

// Answers the application's modal boxes as a user would: every few milliseconds (also inside the
// nested event loop of a blocking box) it looks at the active modal widget and, when a rule names
// the box's title, presses the rule's button. Every modal box is recorded once, answered or not, as
// it is shown: one that comes and goes between two looks is recorded too. A blocking box without a
// rule is left alone, so a test names every box it expects.
class ModalBoxAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        QString title;
        QString text;
        QString pressed;    // empty when no rule answered it
        bool plain = false; // its text is shown as it stands, never read as markup
        QRect frame;        // where it stood on the screen when last seen up
    };

    ModalBoxAnswerer();
    ~ModalBoxAnswerer() override;

    // Boxes titled `title` are answered with the button labelled `button` (mnemonic "&" ignored).
    void press(const QString& title, const QString& button);
    // Every box seen so far, in the order they appeared.
    const std::vector<Box>& boxes() const { return mBoxes; }
    // The boxes seen with this title.
    std::vector<Box> boxes(const QString& title) const;
    void clear()
    {
        mBoxes.clear();
        mPlaces.clear();
    }

    // Looks at the active modal widget now (the timer does it too).
    void poll();

    // Called with a box just before a rule answers it, as the user reads it.
    std::function<void(QWidget*)> beforeAnswer;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Adds a box not seen before to the list; notes where one seen before stands now.
    void record(QWidget* widget);

    QTimer mTimer;
    std::map<QString, QString> mRules;
    std::vector<Box> mBoxes;
    std::vector<const QObject*> mSeen;
    std::map<const QObject*, std::size_t> mPlaces; // a box still up: its entry in mBoxes
    bool mInHook = false;
};

// Clicks the enabled, not hidden button labelled `text` among the children of `widget`; false when
// none is there.
bool clickButton(QWidget* widget, const QString& text);

} // namespace support
