#pragma once

#include <QColor>
#include <QString>

class QWidget;

// The desktop look the window is drawn in: colours named by their role, the hint timing, the
// password character, and a stand-in for the form's font.
namespace appearance {

// The colour of a role: clInfoBk (tooltip background), clGradientActiveCaption,
// clGradientInactiveCaption, clGrayText, clCaptionText, and the fixed clGray and clWhite.
// Invalid for a name that is none of these.
QColor systemColor(const QString &role);

// Gives every widget under `root` that carries a "color" property the colour of that role as its
// background (the field of an edit box or list, the face of a panel or label).
void applyColors(QWidget *root);

// Sets the look once per application: hints shown after 0.5 s, password boxes showing "@", and a
// font for the form's MS Sans Serif where the desktop has none.
void install();

constexpr int hintDelayMs = 500;
constexpr int hintDurationMs = 2500;
constexpr QChar passwordCharacter = u'@';

} // namespace appearance
