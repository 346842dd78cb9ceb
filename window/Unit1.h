#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class TForm1;
}

// The program's one window, Form1.
class TForm1 : public QWidget
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

private:
    std::unique_ptr<Ui::TForm1> ui;
};
