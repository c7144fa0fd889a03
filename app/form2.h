#pragma once

#include <QDialog>

// The about box: names the program and shows a few lines of credits. Built afresh each
// time it opens; "go back" closes it.
class Form2 : public QDialog {
    Q_OBJECT
public:
    explicit Form2(QWidget* parent = nullptr);

    void Command1_Click();
};
