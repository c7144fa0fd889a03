#include "app/form2.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr int kTwipsPerPixel = 15;
QRect twips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}
} // namespace

Form2::Form2(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("about this prog"));
    // No owner: modal to the whole program, so the main window takes no input meanwhile.
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(twips(0, 0, 3405, 1725).size());
    QPalette p = palette();
    p.setColor(QPalette::Window, QApplication::palette("QMenu").color(QPalette::Window));
    setPalette(p);
    setAutoFillBackground(true);

    auto* frame = new QGroupBox(QStringLiteral("ab0ut Marrowtune"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twips(0, 0, 3375, 1695));

    struct Line {
        const char* name;
        QRect geometry;
        QString text;
    };
    const Line lines[] = {
        {"Label1", twips(120, 360, 1215, 255), QStringLiteral("by its makers")},
        {"Label2", twips(1440, 360, 1815, 255), QStringLiteral("Qt and GStreamer")},
        {"Label3", twips(120, 600, 1095, 255),
         QStringLiteral("version ") + QStringLiteral(MARROWTUNE_VERSION)},
        {"Label4", twips(1440, 600, 1815, 855),
         QStringLiteral("Bugs and wishes: the project's issue tracker")},
        {"Label5", twips(120, 840, 1215, 255), QStringLiteral("free software")},
    };
    for (const Line& line : lines) {
        auto* label = new QLabel(line.text, frame);
        label->setObjectName(QLatin1String(line.name));
        label->setGeometry(line.geometry);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    auto* back = new QPushButton(QStringLiteral("go back"), frame);
    back->setObjectName(QStringLiteral("Command1"));
    back->setGeometry(twips(240, 1200, 975, 255));
    connect(back, &QPushButton::clicked, this, &Form2::Command1_Click);
}

void Form2::Command1_Click() {
    accept();
}
