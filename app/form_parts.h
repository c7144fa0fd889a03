#pragma once

#include <QMessageBox>
#include <QRect>

class QColor;
class QFont;
class QPushButton;
class QString;
class QWidget;

// What every window of the player is built from, so the main window, the about box and the
// folder chooser share one unit, one look and one kind of message box.

// Layout unit: 1/1440 inch, 15 to the pixel at 96 dpi. Qt scales logical pixels on HiDPI.
constexpr int kTwipsPerPixel = 15;
constexpr QRect twips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

// The desktop's menu colour, the background the windows are drawn on.
QColor menuColour();

// Has a control fill its background with `background` and draw its text in a colour that
// reads on it (see readableTextColour), in active and inactive windows alike. Disabled
// text keeps the palette's own colour, so a disabled control looks disabled. Controls that
// draw themselves as buttons (a drop-down list) take the colours for their button roles too;
// elsewhere these are left to the desktop, so buttons inside a painted frame look as usual.
enum class ButtonRoles { Keep, Paint };
void paintColours(QWidget* w, const QColor& background, ButtonRoles buttons = ButtonRoles::Keep);

// The classic 8-pt face, sans serif or serif.
QFont classicFont(bool serif);

// A push button that Enter never presses unless it has the focus, its caption readable on
// the desktop's button colour.
QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& geometry);

// Asks whether the list file `name` may be replaced; true for Replace.
bool askToReplaceList(QWidget* parent, const QString& name);

// Shows a modal message box with one OK button and waits for it to be closed.
void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                 const QString& text);
