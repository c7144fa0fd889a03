#include "app/form_parts.h"

#include "app/text_colours.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPushButton>

QColor menuColour() {
    return QApplication::palette("QMenu").color(QPalette::Window);
}

void paintColours(QWidget* w, const QColor& background, ButtonRoles buttons) {
    const QPalette menu = QApplication::palette("QMenu");
    QPalette p = w->palette();
    for (auto role : {QPalette::Window, QPalette::Base})
        p.setColor(role, background);
    if (buttons == ButtonRoles::Paint)
        p.setColor(QPalette::Button, background);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        const QColor text = readableTextColour(background, menu.color(group, QPalette::WindowText));
        for (auto role : {QPalette::WindowText, QPalette::Text})
            p.setColor(group, role, text);
        if (buttons == ButtonRoles::Paint)
            p.setColor(group, QPalette::ButtonText, text);
        const QColor highlight = p.color(group, QPalette::Highlight);
        p.setColor(group, QPalette::HighlightedText,
                   readableTextColour(highlight, p.color(group, QPalette::HighlightedText)));
    }
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QFont classicFont(bool serif) {
    // The layout was drawn for a narrow bitmap face: Liberation Sans (or Arimo, the same
    // metrics) at 7.5 pt fits every caption as laid out ("100 %" in the volume readout is
    // the tightest); the wider DejaVu needs half a point less.
    static const bool metricFace = QFontDatabase::hasFamily(QStringLiteral("Liberation Sans")) ||
                                   QFontDatabase::hasFamily(QStringLiteral("Arimo"));
    QFont f;
    if (serif)
        f.setFamilies({QStringLiteral("MS Serif"), QStringLiteral("Times New Roman"),
                       QStringLiteral("Liberation Serif"), QStringLiteral("Tinos"),
                       QStringLiteral("DejaVu Serif"), QStringLiteral("Serif")});
    else
        f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                       QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                       QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    f.setStyleHint(serif ? QFont::Serif : QFont::SansSerif);
    f.setPointSizeF(metricFace ? 7.5 : 7.0);
    return f;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& geometry) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    b->setDefault(false);
    // The desktop's button colour with a caption that reads on it; disabled stays the
    // palette's, so a disabled button looks disabled.
    QPalette p = b->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        p.setColor(group, QPalette::ButtonText,
                   readableTextColour(p.color(group, QPalette::Button),
                                      p.color(group, QPalette::ButtonText)));
    b->setPalette(p);
    return b;
}

bool askToReplaceList(QWidget* parent, const QString& name) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("ListName"),
                    QStringLiteral("A list named %1 already exists. Replace it?").arg(name),
                    QMessageBox::Cancel, parent);
    const QAbstractButton* replace =
        box.addButton(QStringLiteral("Replace"), QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel); // Enter keeps the old list
    box.exec();
    return box.clickedButton() == replace;
}

void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                 const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}
