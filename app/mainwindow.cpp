#include "app/mainwindow.h"

#include "app/widget_agent.h"
#include "app/widget_engine.h"
#include "app/window_placement.h"
#include "engine/game_rules.h"
#include "views/widget.h"

#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int buttonWidth = 100;
constexpr int buttonHeight = 50;

} // namespace

const char *const MainWindow::startText = "&Start";
const char *const MainWindow::pauseText = "&Pause";
const char *const MainWindow::resumeText = "&Resume";
const char *const MainWindow::stopText = "S&top";
const char *const MainWindow::iconPath = "icon//ball_icon.PNG";

MainWindow::MainWindow(QWidget *parent, size_t screenWidth) : QMainWindow(parent)
{
    numAgents = rules::agentsPerGame;
    engine.setup(numAgents, arenaScaleFor(screenWidth));
    arenaPainter.setup(static_cast<uint32_t>(numAgents), engine);
    Widget *arenaView = new Widget(&arenaPainter, &engine, this);
    arenaView->setObjectName(QStringLiteral("arenaView"));

    setWindowTitle(tr("Pelloria"));
    setFixedSize(engine.width, engine.height);

    viewTimer = new QTimer(this);
    viewTimer->setObjectName(QStringLiteral("viewTimer"));
    connect(viewTimer, SIGNAL(timeout()), arenaView, SLOT(animate()));

    engineWorker = new WidgetEngine(&engine, this);
    agentWorker = new WidgetAgent(&engine, this);
    connect(engineWorker, &WidgetEngine::game_set, this, &MainWindow::stopGame);

    startButton = new QPushButton(QString::fromUtf8(startText), this);
    startButton->setObjectName(QStringLiteral("startButton"));
    stopButton = new QPushButton(QString::fromUtf8(stopText), this);
    stopButton->setObjectName(QStringLiteral("stopButton"));
    const int w = engine.width;
    const int h = engine.height;
    startButton->setGeometry(w - 2 * buttonWidth, h - buttonHeight, buttonWidth, buttonHeight);
    stopButton->setGeometry(w - buttonWidth, h - buttonHeight, buttonWidth, buttonHeight);
    connect(startButton, &QPushButton::released, this, &MainWindow::handleStartButton);
    connect(stopButton, &QPushButton::released, this, &MainWindow::handleStopButton);

    // A missing icon leaves the platform's default one.
    // Beside the program, wherever it was started from; a missing file leaves
    // the default icon.
    setWindowIcon(QIcon(QPixmap(QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromUtf8(iconPath)))));
}

MainWindow::~MainWindow() = default;

void MainWindow::handleStartButton()
{
    if (startButton->text() == QLatin1String(startText)) {
        engine.reset();
        engineWorker->start();
        agentWorker->start();
        viewTimer->start(rules::tickIntervalMs);
        startButton->setText(QString::fromUtf8(pauseText));
        return;
    }
    if (startButton->text() == QLatin1String(pauseText)) {
        viewTimer->stop();
        engineWorker->stop();
        agentWorker->stop();
        startButton->setText(QString::fromUtf8(resumeText));
        return;
    }
    viewTimer->start(rules::tickIntervalMs);
    engineWorker->start();
    agentWorker->start();
    startButton->setText(QString::fromUtf8(pauseText));
}

void MainWindow::handleStopButton()
{
    viewTimer->stop();
    engineWorker->stop();
    agentWorker->stop();
    engine.reset();
    startButton->setText(QString::fromUtf8(startText));
}

void MainWindow::stopGame()
{
    engineWorker->stop();
    agentWorker->stop();
    startButton->setText(QString::fromUtf8(startText));
    QMessageBox::information(this, QStringLiteral("Game Set"), QStringLiteral("Please click OK to continue."),
                             QMessageBox::Ok, QMessageBox::NoButton);
}
