#include "app/form3.h"

#include "app/form_parts.h"
#include "playlist/folder_listing.h"
#include "playlist/mounted_volumes.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>

Form3::Form3(QWidget* parent, AppendEntries appendEntries)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      appendEntries_(std::move(appendEntries)) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Form3"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(64, 64, 64));
    setPalette(pal);
    setAutoFillBackground(true);
    resize(twips(0, 0, 1830, 1770).size());

    // No layout: the controls keep their place and size when the window is resized.
    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setAccessibleName(QStringLiteral("drive"));
    Drive1->setGeometry(twips(0, 0, 1815, 315));
    paintColours(Drive1, Qt::black, ButtonRoles::Paint);

    Dir1 = new QListWidget(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setAccessibleName(QStringLiteral("folders"));
    Dir1->setGeometry(twips(0, 300, 1875, 1215)); // wider than the window, clipped on the right
    Dir1->setSelectionMode(QAbstractItemView::SingleSelection);
    paintColours(Dir1, Qt::black);

    // Enter must never press a button of this dialog.
    CmdOk = makeButton(this, "CmdOk", QStringLiteral("Ok"), twips(0, 1560, 855, 195));
    CmdOk->setAccessibleName(CmdOk->text());
    CmdCancel = makeButton(this, "CmdCancel", QStringLiteral("Cancel"), twips(960, 1560, 855, 195));
    CmdCancel->setAccessibleName(CmdCancel->text());

    // Holds the files "Ok" imports (pattern *.mp3); the user never sees it.
    File1 = new QListWidget(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setAccessibleName(QStringLiteral("files"));
    File1->setGeometry(twips(240, 360, 1455, 1065));
    File1->hide();

    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, CmdOk);
    setTabOrder(CmdOk, CmdCancel);
    setTabOrder(CmdCancel, File1);

    const QString start = QDir::currentPath();
    QStringList volumes = mountedVolumes();
    QString volume = volumeOf(start, volumes);
    if (volume.isEmpty()) {
        volume = QStringLiteral("/");
        volumes.prepend(volume);
    }
    Drive1->addItems(volumes);
    Drive1->setCurrentIndex(static_cast<int>(volumes.indexOf(volume)));
    // A current folder that was deleted cannot be opened: start at its volume instead.
    if (!openDir1(start))
        openDir1(volume);
    pointFile1At(dir1Path_);

    connect(Drive1, &QComboBox::currentIndexChanged, this, &Form3::Drive1_Change);
    connect(Dir1, &QListWidget::itemDoubleClicked, this, &Form3::openDir1Item);
    connect(CmdOk, &QPushButton::clicked, this, &Form3::CmdOk_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &Form3::CmdCancel_Click);
    Dir1->installEventFilter(this);
}

void Form3::Drive1_Change() {
    // A volume that cannot be read is ignored: the folder list stays where it was.
    openDir1(Drive1->currentText());
}

void Form3::CmdOk_Click() {
    pointFile1At(dir1Path_);
    if (File1->count() == 0) {
        showMessage(this, QMessageBox::NoIcon, QStringLiteral("Error"),
                    QStringLiteral("No files were found in specific folder"));
        done(Rejected);
        return;
    }
    QStringList entries;
    entries.reserve(File1->count());
    for (int i = 0; i < File1->count(); ++i)
        entries.append(joinFolderAndName(file1Path_, File1->item(i)->text()));
    if (appendEntries_)
        appendEntries_(entries);
    done(Accepted);
}

void Form3::CmdCancel_Click() {
    done(Rejected);
}

void Form3::keyPressEvent(QKeyEvent* event) {
    // Esc must not close the dialog; only "Cancel" and the title bar do.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Form3::showEvent(QShowEvent* event) {
    // Skips QDialog's centring over the main window: the window system places the dialog.
    QWidget::showEvent(event); // NOLINT(bugprone-parent-virtual-call)
}

bool Form3::eventFilter(QObject* watched, QEvent* event) {
    // Enter opens the highlighted folder, so the folder list works without a mouse.
    if (watched == Dir1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openDir1Item(Dir1->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool Form3::openDir1(const QString& folder) {
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return false;

    // Like a classic folder list box: the folders above the open one, the open one, then its
    // subfolders, each level indented a little further.
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);

    Dir1->clear();
    QString at = QStringLiteral("/");
    auto add = [this](const QIcon& icon, qsizetype level, const QString& name,
                      const QString& full) {
        auto* item = new QListWidgetItem(icon, QString(level * 2, QLatin1Char(' ')) + name, Dir1);
        item->setData(Qt::UserRole, full);
        return item;
    };
    QListWidgetItem* open = add(openIcon, 0, at, at);
    for (int i = 0; i < parts.size(); ++i) {
        at = joinFolderAndName(at, parts[i]);
        open = add(openIcon, i + 1, parts[i], at);
    }
    for (const QString& name : subfolderNames(path))
        add(closedIcon, parts.size() + 1, name, joinFolderAndName(path, name));

    Dir1->setCurrentItem(open);
    dir1Path_ = path;
    return true;
}

void Form3::openDir1Item(QListWidgetItem* item) {
    if (item)
        openDir1(item->data(Qt::UserRole).toString());
}

void Form3::pointFile1At(const QString& folder) {
    file1Path_ = folder;
    File1->clear();
    File1->addItems(mp3FileNames(folder));
}
