#pragma once

#include <QApplication>
#include <QTranslator>

namespace app {

// The program's application object. It is the one place where an error escaping an event handler
// on the window's thread is caught: the error box shows it and the event loop goes on. Qt's own
// dialogs and menus speak Chinese, as the window does.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

private:
    QTranslator m_qtTranslator;
};

} // namespace app
