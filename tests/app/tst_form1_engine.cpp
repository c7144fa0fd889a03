#include "app/form1.h"
#include "playback/gst_engine.h"
#include "playlist/play_list_model.h"

#include <QLineEdit>
#include <QListView>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gst/gst.h>

// The window on the real engine with a silent sink that keeps time: tracks that end by
// themselves are followed as the play mode says, once per track.
class TstForm1Engine : public QObject {
    Q_OBJECT
private slots:
    void resumeWalksTheList() {
        auto* engine = new GstEngine(nullptr, [] {
            GstElement* sink = gst_element_factory_make("fakesink", nullptr);
            g_object_set(sink, "sync", TRUE, nullptr);
            return sink;
        });
        Form1 form(engine);
        QSignalSpy ends(engine, &MediaEngine::endOfStream);
        const QString track = QStringLiteral(MT_FIXTURES "/short_0_3s.mp3");
        form.playList()->append({track, track + QStringLiteral("?missing"), track});
        auto* list = form.findChild<QListView*>("List1");
        list->selectionModel()->setCurrentIndex(form.playList()->index(0),
                                                QItemSelectionModel::ClearAndSelect);
        form.findChild<QRadioButton*>("OptRes")->setChecked(true);
        form.CmdPlay_Click();

        // The first ends, the missing second is skipped, the third plays and ends, and
        // at the last entry the player stops.
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 2, 5000);
        QCOMPARE(list->currentIndex().row(), 2);
        QCOMPARE(form.findChild<QLineEdit*>("Text1")->text(), track);
        QTest::qWait(600);
        QCOMPARE(ends.count(), 2);
        QCOMPARE(ends.at(0).at(0).toInt(), 0);
        QCOMPARE(engine->position(), 0.0);
    }
};

QTEST_MAIN(TstForm1Engine)
#include "tst_form1_engine.moc"
