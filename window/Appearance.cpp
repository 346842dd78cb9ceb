#include "Appearance.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QHash>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWidget>

namespace appearance {
namespace {

// The desktop's own style with the two hints the window fixes.
class WindowStyle : public QProxyStyle
{
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        switch (hint) {
        case SH_ToolTip_WakeUpDelay: return hintDelayMs;
        case SH_LineEdit_PasswordCharacter: return passwordCharacter.unicode();
        case SH_LineEdit_PasswordMaskDelay: return 0;
        default: return QProxyStyle::styleHint(hint, option, widget, returnData);
        }
    }
};

// Widgets whose colour is the background of a text field rather than of a face.
bool hasTextField(const QWidget *widget)
{
    return qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QPlainTextEdit *>(widget)
        || qobject_cast<const QAbstractItemView *>(widget) || qobject_cast<const QComboBox *>(widget);
}

} // namespace

QColor systemColor(const QString &role)
{
    // Qt's palette names only the tooltip background; the other roles take the values of the
    // classic desktop scheme, where the caption text is white.
    static const QHash<QString, QColor> fixed = {
        {QStringLiteral("clGradientActiveCaption"), QColor(185, 209, 234)},
        {QStringLiteral("clGradientInactiveCaption"), QColor(215, 228, 242)},
        {QStringLiteral("clGrayText"), QColor(109, 109, 109)},
        {QStringLiteral("clCaptionText"), QColor(255, 255, 255)},
        {QStringLiteral("clGray"), QColor(128, 128, 128)},
        {QStringLiteral("clWhite"), QColor(255, 255, 255)},
    };
    if (role == QLatin1String("clInfoBk"))
        return QApplication::palette().color(QPalette::ToolTipBase);
    return fixed.value(role);
}

void applyColors(QWidget *root)
{
    const QList<QWidget *> widgets = root->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        const QColor color = systemColor(widget->property("color").toString());
        if (!color.isValid())
            continue;
        QPalette palette = widget->palette();
        if (hasTextField(widget)) {
            palette.setColor(QPalette::Base, color);
            palette.setColor(QPalette::Button, color);
        } else {
            // A button's face is its background (a radio button's box around its caption).
            palette.setColor(QPalette::Window, color);
            palette.setColor(widget->backgroundRole(), color);
            widget->setAutoFillBackground(true);
        }
        widget->setPalette(palette);
    }
}

void install()
{
    if (qobject_cast<WindowStyle *>(QApplication::style()))
        return;
    QApplication::setStyle(new WindowStyle(QApplication::style()->name()));
    QFont::insertSubstitutions(
        QStringLiteral("MS Sans Serif"),
        {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
}

} // namespace appearance

#include "Appearance.moc"
