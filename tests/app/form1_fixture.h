#pragma once

#include "app/form1.h"
#include "common/fake_engine.h"
#include "common/modal_watcher.h"
#include "playlist/play_list_model.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <memory>

// A main window on a scripted engine, with helpers to reach its controls by name.
struct Form1Fixture {
    FakeEngine* engine = new FakeEngine;
    std::unique_ptr<Form1> form = std::make_unique<Form1>(engine);

    template <typename T> T* get(const char* name) const {
        T* w = form->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QPushButton* button(const char* name) const { return get<QPushButton>(name); }
    QSlider* slider(const char* name) const { return get<QSlider>(name); }
    QLineEdit* Text1() const { return get<QLineEdit>("Text1"); }
    QLineEdit* TxtTime() const { return get<QLineEdit>("TxtTime"); }
    QListView* List1() const { return get<QListView>("List1"); }
    PlayListModel* list() const { return form->playList(); }

    void add(const QStringList& entries) const { list()->append(entries); }
    void select(int row) const {
        List1()->selectionModel()->setCurrentIndex(list()->index(row),
                                                   QItemSelectionModel::ClearAndSelect);
    }
    int selected() const {
        const auto rows = List1()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    // A user move of a slider: the same path as a drag, a click on the track or a key.
    void moveSlider(const char* name, int value) const { slider(name)->setSliderPosition(value); }
    void showActive() const {
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
};

// Answers a file dialog with `path`, or cancels it when `path` is empty.
inline std::function<void(QWidget*)> chooseFile(const QString& path) {
    return [path](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (!dialog) {
            ModalWatcher::acceptBox(w);
            return;
        }
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        // As a person would: the full path typed into the name box, then Open.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(path);
        static_cast<QDialog*>(dialog)->accept(); // protected in QFileDialog
    };
}
