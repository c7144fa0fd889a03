#include "app/form_parts.h"

#include <QApplication>
#include <QPushButton>

QColor menuColour() {
    return QApplication::palette("QMenu").color(QPalette::Window);
}

void paintColours(QWidget* w, const QColor& background, const QColor& text) {
    QPalette p = w->palette();
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        p.setColor(role, background);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, text);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QFont classicFont(bool serif) {
    QFont f;
    if (serif)
        f.setFamilies({QStringLiteral("MS Serif"), QStringLiteral("Times New Roman"),
                       QStringLiteral("DejaVu Serif"), QStringLiteral("Serif")});
    else
        f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                       QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    f.setStyleHint(serif ? QFont::Serif : QFont::SansSerif);
    f.setPointSizeF(8.25);
    return f;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& geometry) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                 const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}
