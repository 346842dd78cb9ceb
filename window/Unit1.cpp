#include "Unit1.h"

#include "ui_Unit1.h"

TForm1::TForm1(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TForm1>())
{
    ui->setupUi(this);
}

TForm1::~TForm1() = default;
