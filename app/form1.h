#pragma once

#include <QMainWindow>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <limits>
#include <optional>

enum class PlayMode;
struct ListFileFolder;
class LoadProgress;
class Player;
class QAction;
class QCheckBox;
class QDropEvent;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QMouseEvent;
class QPushButton;
class QRadioButton;
class QShortcutEvent;
class QSlider;
class QTimer;

// The main window: a view of the player. Its handlers are named after the control and event
// that raise them and stay thin: they read the controls, ask the player, and draw what the
// player tells through its signals. The rules they apply are plain functions in playback/
// and playlist/.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(Player* player, QWidget* parent = nullptr);
    ~Form1() override;

    // Seams for tests: which mixer programs are tried, and where saved lists go.
    // The monotonic milliseconds that space the display's refreshes.
    void setClock(std::function<qint64()> nowMs);
    void setMixerCandidates(QList<QStringList> candidates);
    void setListFolders(QString programFolder, QString fallbackFolder);
    // How long a load runs before its progress and Cancel show.
    void setProgressDelay(int ms);

    // The keep-on-top box, and making it and the window agree, for what --remember keeps.
    bool keptOnTop() const;
    void keepOnTop(bool on);
    // Makes the window topmost or returns it to ordinary stacking, without moving it.
    void AlwaysOnTop(bool SetOnTop);
    // Restores the window if minimised and puts it in front, for the desktop and for a
    // launch that handed its paths to this window.
    void bringToFront();

    // Handlers, one per user action.
    void Form_Load();
    void CmdPlay_Click();
    void List1_DblClick();
    void CmdPause_Click();
    void CmdStop_Click();
    void Timer1_Timer();
    void Slider1_Scroll();
    void Slider3_Scroll();
    void Slider2_Scroll();
    void CmdMute_Click();
    void Cmdvol_Click();
    void List1_Click();
    void CmdAdd_MouseUp(int Button, int Shift, int X, int Y);
    void mnuaddfile_Click();
    void mnuaddfile2_Click();
    void mnuAdddir_Click();
    void mnuAdddir2_Click();
    void List1_OLEDragDrop(const QList<QUrl>& urls);
    void CmdRem_Click();
    void CmdClear_Click();
    void CmdLoadList_Click();
    void CmdSaveList_Click();
    void Command1_Click();
    void CmdOnTop_Click();
    void mnuAbout_Click();
    void mnuExit_Click();
    // Menu items that run the handler of the button doing the same.
    void mnuplay_Click();
    void mnustop_Click();
    void mnuRemove_Click();
    void mnuRemall_Click();
    void mnuMute_Click();
    void mnuVolume_Click();
    void mnumini_Click();
    void mnuOnTop_Click();
    void mnuLoadList_Click();
    void mnuSavelist_Click();

signals:
    // The keep-on-top box changed.
    void keptOnTopChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void applyStackingAndTabOrder();
    QAction* addMenuItem(QMenu* menu, const char* name, const QString& caption,
                         const QKeySequence& shortcut, void (Form1::*handler)());

    // The window's event filter, one helper per kind of event it takes over.
    void addButtonReleased(const QMouseEvent* event);
    bool clickOnAccessKey(QObject* watched, const QShortcutEvent* event);
    void dragOverList(QDropEvent* event);
    bool isMenuShortcut(const QKeyEvent* event) const;
    bool keyOnSelectedRow(const QKeyEvent* event);

    int selectedIndex() const;
    void addOneFile();
    QString askForFile(const QString& name, const QString& title, const QString& filter,
                       const QString& folder = {});
    ListFileFolder listFolder() const;
    void openFolderChooser();
    void showError(const QString& text);
    void showVolumeColour(int sliderValue);
    void followPlayer();
    void showCurrentFile(const QString& file);
    void showSelection(int row);
    void showState();
    void showLength();
    void showMode(PlayMode mode);
    void showLevels();
    void showMuteState();
    void showBalanceWord(int balance);
    void refreshSoon();
    void scheduleRefresh(std::optional<qint64> delayMs);

    Player* player_;

    QPushButton* CmdPlay = nullptr;
    QPushButton* CmdStop = nullptr;
    QPushButton* CmdPause = nullptr;
    QPushButton* Cmdvol = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* CmdOnTop = nullptr;
    QCheckBox* Check3 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* Label = nullptr;
    QLabel* Label2 = nullptr;
    QSlider* Slider3 = nullptr;
    QSlider* Slider2 = nullptr;
    QPushButton* CmdMute = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* TxtTime = nullptr;
    QSlider* Slider1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QPushButton* CmdAdd = nullptr;
    QPushButton* CmdRem = nullptr;
    QPushButton* CmdClear = nullptr;
    QPushButton* CmdLoadList = nullptr;
    QPushButton* CmdSaveList = nullptr;
    QRadioButton* OptRND = nullptr;
    QRadioButton* OptRes = nullptr;
    QRadioButton* OptNON = nullptr;
    QListView* List1 = nullptr;
    QTimer* Timer1 = nullptr;
    QMenu* addmenu = nullptr;

    // The whole seconds last written to the time box; empty until the first refresh.
    std::optional<qint64> ElapsedSeconds;
    qint64 lastRefreshMs_ = std::numeric_limits<qint64>::min() / 2;
    bool toldListFolder_ = false;

    std::function<qint64()> clock_;
    QList<QStringList> mixerCandidates_;
    QString programFolder_;
    QString fallbackFolder_;
    LoadProgress* progress_ = nullptr;
};
