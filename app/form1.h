#pragma once

#include "app/window_settings.h"
#include "playlist/entry_loader.h"

#include <QMainWindow>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <limits>
#include <optional>

class MediaEngine;
enum class PlayMode;
struct ListFileFolder;
class PlayListModel;
class QAction;
class QCheckBox;
class QDropEvent;
class QGroupBox;
class QHelpEvent;
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

// The main window. Its state lives in its controls, as the user sees it; the handlers are
// named after the control and event that raise them and stay thin: the rules they apply are
// plain functions in playback/ and playlist/, and sound goes through MediaEngine only.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // The window owns the engine for its whole life.
    explicit Form1(MediaEngine* engine, QWidget* parent = nullptr);
    ~Form1() override;

    // Seams for tests: where random picks come from, which mixer programs are tried, and
    // where saved lists go.
    void setRandomSource(std::function<double()> source);
    // The monotonic milliseconds that space the display's refreshes.
    void setClock(std::function<qint64()> nowMs);
    void setMixerCandidates(QList<QStringList> candidates);
    void setListFolders(QString programFolder, QString fallbackFolder);
    // How long a load runs before its progress and Cancel show.
    void setProgressDelay(int ms) { progressDelayMs_ = ms; }

    MediaEngine* engine() const { return MediaPlayer1; }
    PlayListModel* playList() const { return playList_; }

    // What --remember keeps: taken from the controls and the engine, and given back through
    // the handlers, as a person would set them.
    WindowSettings settings() const;
    void restoreSettings(const WindowSettings& kept);
    bool loading() const { return loading_ != nullptr; }
    bool closedWhileLoading() const { return closedWhileLoading_; }

    // Makes the window topmost or returns it to ordinary stacking, without moving it.
    void AlwaysOnTop(bool SetOnTop);

    // For the desktop's media controls, which reach the list and the volume slider as a
    // person does: the selected entry (-1 for none); selecting `row` and pressing Play; the
    // volume slider's value (0..kVolumeSliderMax) and moving it, which runs its handler.
    int selectedEntry() const { return selectedIndex(); }
    void playEntry(int row);

    // Files, folders and list files opened from outside the window (the command line, a
    // second launch, the desktop): added in one batch in the order given, then the first
    // added entry plays unless `enqueue`. What could not be opened is named in one message.
    void openPaths(const QStringList& paths, bool enqueue);
    // Restores the window if minimised and puts it in front, for the desktop and for a
    // launch that handed its paths to this window.
    void bringToFront();
    int volumeLevel() const;
    void setVolumeLevel(int value);

    // Handlers, one per user action.
    void Form_Load();
    void CmdPlay_Click();
    void List1_DblClick();
    void CmdPause_Click();
    void CmdStop_Click();
    void MediaPlayer1_EndOfStream(int result);
    void MediaPlayer1_AboutToFinish();
    void MediaPlayer1_QueuedStarted();
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
    // The play mode, a level, keep on top or the window's place changed.
    void settingsChanged();
    void selectedEntryChanged();
    void volumeLevelChanged();
    // The user moved the position slider, so the engine jumped to a new place.
    void positionMoved();

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
    bool showSongTooltip(const QHelpEvent* event);
    bool isMenuShortcut(const QKeyEvent* event) const;
    bool keyOnSelectedRow(const QKeyEvent* event);

    int selectedIndex() const;
    void selectEntry(int row);
    bool startCurrentFile();
    void showStartedTrack();
    void dropQueuedTrack();
    void addOneFile();
    QString askForFile(const QString& name, const QString& title, const QString& filter,
                       const QString& folder = {});
    ListFileFolder listFolder() const;
    void openFolderChooser();
    // Adds what `producer` reads, off this thread and in batches, and returns when it is done
    // or cancelled; false when the producer failed.
    bool addEntries(EntryLoader::Producer producer);
    void showError(const QString& text);
    void tellSkippedEntries(int skipped);
    void stopAsInModeNone();
    void showVolumeColour(int sliderValue);
    void showMuteState();
    PlayMode playMode() const;
    void refreshSoon();
    void scheduleRefresh(std::optional<qint64> delayMs);

    MediaEngine* MediaPlayer1;
    PlayListModel* playList_;

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
    // Automatic starts that failed in a row; the player stops when they reach the limit.
    int failedStarts_ = 0;
    // Entries queued to follow the playing track without a gap, not heard yet.
    QList<int> queuedEntries_;
    bool toldListFallback_ = false;

    std::function<double()> random_;
    std::function<qint64()> clock_;
    QList<QStringList> mixerCandidates_;
    QString programFolder_;
    QString fallbackFolder_;
    // Half a second: quicker loads finish before a dialog would only flash up.
    int progressDelayMs_ = 500;
    EntryLoader* loading_ = nullptr;
    bool closedWhileLoading_ = false;
};
