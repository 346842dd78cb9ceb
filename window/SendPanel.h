#pragma once

#include "SendRun.h"
#include "SendRunDisplay.h"
#include "SendRunInputs.h"
#include "TestSend.h"

#include <QObject>
#include <QPointer>

#include <functional>

#include <memory>
#include <optional>

class Database;
class PreviewDialog;
class QWidget;
class RecordView;
class SendRecordBrowser;
class ViewSource;
namespace Ui {
class MainWindow;
}

// The send panel beside the customer grid: the send button's handler and the run it starts, from the start to the
// box that tells how it ended. It keeps the run's inputs current as the user changes the boxes and
// choices, keeps the skip choice in the file, and shows the run's reports: the customer at hand in
// the customer grid, the counts in the progress label, each record in the send-record grid. Beside
// the mail choice it opens the preview of the chosen mail and sends test mails, never during a run.
class SendPanel : public QObject
{
    Q_OBJECT
public:
    // What the panel works on; the window owns it all and outlives the panel.
    struct Data
    {
        Database &database;
        RecordView &customers;
        RecordView &mails;
        RecordView &account;
        ViewSource &mailSource; // the mail choice is filled from it
        SendRecordBrowser &browser; // shows each new record
    };

    // `requireOpenDatabase` throws the closed-file error when the views are not all open.
    SendPanel(QWidget &window, Ui::MainWindow &ui, const Data &data, std::function<void()> requireOpenDatabase);
    // A run still going is stopped and joined; it never waits for the window, so this does not wait.
    ~SendPanel() override;

    // The skip choice as the file keeps it, once the file is open.
    void loadSkipSent();
    // The window is closing: during a run the user is asked first; on 是 the run is told to stop
    // and the window closed again once it has ended (true: the window stays open meanwhile, and
    // after 否).
    bool stopBeforeClose();

private:
    // The handlers.
    void fillMailChoice();
    // The send button: a send, or during a run its stop.
    void sendOrStop();
    // The checks, then the confirmation; 否 starts nothing.
    void send();
    void startRun();
    // The rest of the customers stay unmailed; the box at the end says how to send to them.
    void stop();
    // The user turned the skip choice on or off: kept in the file at once.
    void storeSkipSent();
    // The checks before a send, a preview or a test mail; false (with the box that says why) when
    // the chosen mail cannot go.
    bool mailCanGo();
    void preview();
    // A test mail carrying the greeting of the first customer, or of the one the preview shows.
    void testSend(const QString &greetingName);
    void testSendEnded(bool sent, const QString &text);
    // Test mails wait while a run or another test mail goes on.
    void enableTestSend();

    void keepRunInputsCurrent();
    void showRunning();
    void runEnded();
    // The run stopped for a question only the user can answer: asked here, a yes kept in the file
    // and the run started again (true).
    bool askAndAgree(const RunQuestion &question);

    // The run's reports, shown on the window's thread.
    void showProgress(const SendRunDisplay::Progress &progress);
    SendRunDisplay::Progress m_shownProgress;
    void showCapWaiting(int cap, const QDateTime &resumeAt);

    QWidget &m_window;
    Ui::MainWindow &m_ui;
    Data m_data;
    std::function<void()> m_requireOpenDatabase;
    SendRunInputs m_runInputs;
    std::unique_ptr<SendRun> m_sendRun;
    std::unique_ptr<TestSend> m_testSend;
    QPointer<PreviewDialog> m_preview; // while it is open
    SendRunDisplay m_runDisplay; // what the window shows of the run, once a frame
    // The box that tells how the run ended, shown once the controls are back.
    struct RunEndBox
    {
        bool isError = false;
        QString text;
        bool stopped = false; // the box of a stop the user asked for
    };
    RunEndBox m_runEndBox;
    std::optional<RunQuestion> m_runQuestion;
    // The window was asked to close during a run: it closes once the run has ended.
    bool m_closeAfterRun = false;
};
