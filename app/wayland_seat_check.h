#pragma once

class QTextStream;

// Qt's Wayland plugin reads the input seat's text input whenever a text field paints, and
// crashes when the compositor offers no seat at all (a headless one). Called before the
// application connects: where it is going to connect to such a compositor, Qt's own compose
// module takes the text input instead, and the user is told why.
void avoidSeatlessTextInput(QTextStream& err);
