#include "app/form2.h"

#include "app/form_parts.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

Form2::Form2(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("about this prog"));
    // No owner: modal to the whole program, so the main window takes no input meanwhile.
    setWindowModality(Qt::ApplicationModal);
    setFont(classicFont(false));
    setFixedSize(twips(0, 0, 3405, 1725).size());
    QPalette p = palette();
    p.setColor(QPalette::Window, menuColour());
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

    auto* back =
        makeButton(frame, "Command1", QStringLiteral("go back"), twips(240, 1200, 975, 255));
    back->setAutoDefault(true); // Enter closes the box
    connect(back, &QPushButton::clicked, this, &Form2::Command1_Click);
}

void Form2::Command1_Click() {
    accept();
}
