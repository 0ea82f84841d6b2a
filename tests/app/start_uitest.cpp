// The window's start as a process: which database it opens for --db and
// without it, and where it works.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int code = -1;
    QString said;  // standard error
};

// Starts qarvenda offscreen in `cwd`; once the window says what it loaded
// (or the program ends) it is stopped.
Run start(const QString& cwd, const QString& home, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.remove(QStringLiteral("QARVENDA_HOME"));
    env.insert(QStringLiteral("QARVENDA_SNAPSHOT"), home + QStringLiteral("/window.png"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(cwd);
    p.start(qEnvironmentVariable("QV_BINARY_DIR") + QStringLiteral("/qarvenda"), args);
    Run r;
    QByteArray err;
    p.setReadChannel(QProcess::StandardError);
    // Ends when the line comes, the program ends, or after a minute of silence.
    while (!err.contains("top-level directories") && p.waitForReadyRead(60000))
        err += p.readAllStandardError();
    if (p.state() == QProcess::NotRunning)
        r.code = p.exitCode();
    p.kill();
    p.waitForFinished(10000);
    r.said = QString::fromUtf8(err + p.readAllStandardError());
    return r;
}

}  // namespace

class StartTest : public QObject {
    Q_OBJECT
private slots:
    void opensTheDatabaseTheRuleNames()
    {
        QTemporaryDir root;
        const QString bundled = qEnvironmentVariable("QV_BINARY_DIR") + QStringLiteral("/kvrn.dat");
        if (!QFile::exists(bundled))
            QSKIP("the bundled database is not built");
        for (const char* d : {"home", "work", "mine"})
            QVERIFY(QDir(root.path()).mkdir(QLatin1String(d)));
        QVERIFY(QFile::copy(bundled, root.filePath(QStringLiteral("mine/places.dat"))));
        const QString data = root.filePath(QStringLiteral("home/data/qarvenda/kvrn.dat"));

        // --db: that file, and the data folder is left alone.
        Run r = start(root.filePath(QStringLiteral("work")), root.filePath(QStringLiteral("home")),
                      {QStringLiteral("--db"), QStringLiteral("../mine/places.dat")});
        QVERIFY2(r.said.contains(QStringLiteral(" top-level directories from ") +
                                 root.filePath(QStringLiteral("mine/places.dat"))),
                 qPrintable(r.said));
        QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("home/data"))));
        QVERIFY(QFile::exists(root.filePath(QStringLiteral("home/window.png"))));

        // Nothing here: the data folder, filled from the bundled database.
        r = start(root.filePath(QStringLiteral("work")), root.filePath(QStringLiteral("home")), {});
        QVERIFY2(r.said.contains(QStringLiteral(" top-level directories from ") + data), qPrintable(r.said));
        QVERIFY(!r.said.contains(QStringLiteral("; 0 top-level")));
        QVERIFY2(r.said.contains(QStringLiteral("; pictures not drawn: none")), qPrintable(r.said));
        QVERIFY(QFile::exists(data));
        // The bundled version it came from is kept beside it.
        QVERIFY(QFile::exists(data + QStringLiteral(".bundled")));
        QCOMPARE(QFile(data + QStringLiteral(".bundled")).size(), QFile(bundled).size());
        // That run was killed and left its lock: the next start takes it
        // over without a question (which would keep the window from coming up).
        QVERIFY(QFile::exists(data + QStringLiteral(".lock")));
        r = start(root.filePath(QStringLiteral("work")), root.filePath(QStringLiteral("home")), {});
        QVERIFY2(r.said.contains(QStringLiteral(" top-level directories from ") + data), qPrintable(r.said));

        // --db without a file name is refused before any window.
        r = start(root.filePath(QStringLiteral("work")), root.filePath(QStringLiteral("home")),
                  {QStringLiteral("--db")});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.said.contains(QStringLiteral("--db")), qPrintable(r.said));
    }
};

QTEST_GUILESS_MAIN(StartTest)
#include "start_uitest.moc"
