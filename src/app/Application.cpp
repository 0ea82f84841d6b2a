#include "app/Application.h"

#include "widgets/Icons.h"
#include "app/Tmainform.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/SearchBar.h"
#include "store/Database.h"
#include "store/DatabaseLocation.h"
#include "widgets/MessageBox.h"
#include "widgets/Fonts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOption>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#ifndef QV_VERSION
#define QV_VERSION "2.5.0.0"
#endif

namespace qv {

namespace {
// The style's own focus mark is a faint shade that is hard to see; this one
// is a dotted frame in the text's colour, visible on every background.
class FocusMarkStyle : public QProxyStyle {
public:
    explicit FocusMarkStyle(const QString& base) : QProxyStyle(base) {}
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element != PE_FrameFocusRect) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const auto* focus = qstyleoption_cast<const QStyleOptionFocusRect*>(option);
        const bool onHighlight = (option->state & State_Selected) ||
                                 (focus && focus->backgroundColor == option->palette.color(QPalette::Highlight));
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(option->palette.color(onHighlight ? QPalette::HighlightedText : QPalette::WindowText), 1,
                             Qt::DotLine));
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};
}  // namespace

void setUpChineseUi(QApplication& app)
{
    // Before any window is made: every control then draws the clear focus
    // mark, over the style chosen for the desktop (or by -style).
    if (!dynamic_cast<FocusMarkStyle*>(QApplication::style()))
        QApplication::setStyle(new FocusMarkStyle(QApplication::style()->name()));
    // The window asks for the Windows font names; map them to the Chinese
    // fonts that Debian ships, so that text is drawn by a real CJK face.
    // One face for the whole interface, message boxes and dialogs included:
    // WenQuanYi Micro Hei sets mainland punctuation where it belongs (AR PL
    // UMing centres "，") and stays sharp at small sizes.
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("WenQuanYi Micro Hei"),
                                                      QStringLiteral("Noto Sans CJK SC"),
                                                      QStringLiteral("AR PL UMing CN")});
    QFont::insertSubstitutions(QStringLiteral("楷体_GB2312"),
                               {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UMing CN"),
                                QStringLiteral("WenQuanYi Micro Hei")});
    QApplication::setFont(songTi());
    // Qt's own dialogs and buttons in Chinese.
    auto* qtTranslator = new QTranslator(&app);
    if (qtTranslator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtTranslator);
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}

int runApplication(int argc, char** argv)
{
    // Answered before any window system is needed, so they work without a display.
    QString given;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--version" || arg == "-v") {
            QTextStream(stdout) << "Qarvenda " << QV_VERSION << Qt::endl;
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            QTextStream(stdout) << "用法: qarvenda [--db 文件]\n"
                                << "Qarvenda 地名邮编区号查询。\n"
                                << "数据库：--db 指定的文件；否则当前文件夹中的 kvrn.dat（如果有）；\n"
                                << "否则数据文件夹（$QARVENDA_HOME，或 ~/.local/share/qarvenda）中的 kvrn.dat，\n"
                                << "第一次运行时从随程序附带的数据库复制过去。\n"
                                << "  --db 文件      使用这个数据库文件\n"
                                << "  -v, --version  显示版本\n  -h, --help     显示本说明" << Qt::endl;
            return 0;
        }
        if (arg == "--db" || arg.startsWith("--db=")) {
            const QByteArray value =
                arg == "--db" ? (i + 1 < argc ? QByteArray(argv[++i]) : QByteArray()) : arg.mid(int(qstrlen("--db=")));
            if (value.isEmpty()) {
                QTextStream(stderr) << "qarvenda: 选项“--db”需要一个文件名。" << Qt::endl;
                return 2;
            }
            given = QFile::decodeName(value);
        }
    }
    // The window works in the database's folder, so that kvrn.txt and the
    // copy of a damaged file land beside it.
    const DatabaseLocation location = locateDatabase(given);
    QDir::setCurrent(location.folder);
    // The database is read and inflated while the window is being built.
    preloadDatabaseFile(location.file);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Qarvenda"));
    // No display name: the platform would add it to every window title.
    QApplication::setApplicationVersion(QStringLiteral(QV_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Qarvenda"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.qarvenda.qarvenda"));

    setUpChineseUi(app);
    ensureResources();
    QApplication::setWindowIcon(applicationIcon());

    Tmainform window(location.file);
    window.setBundledDatabase(location.bundled, location.from == DatabaseLocation::From::DataFolder);
    if (location.readOnly) {
        // The first line says why the data folder has no copy; a save repeats it.
        QString why = location.problem.section(QLatin1Char('\n'), 0, 0);
        if (why.endsWith(QStringLiteral("。")))
            why.chop(1);
        window.openReadOnly(why);
    }
    window.FormCreate(location.problem);
    window.restoreWindowState();
    window.show();
    // For checking an installed program where nobody looks at the screen:
    // the first directory opened and listed, so that every kind of picture is
    // on screen; a picture of the window; what it loaded; and which pictures
    // drew nothing (a missing image plug-in leaves them blank).
    const QString snapshot = qEnvironmentVariable("QARVENDA_SNAPSHOT");
    if (!snapshot.isEmpty()) {
        QTimer::singleShot(2000, &window, [&window, snapshot, file = location.file] {
            const QModelIndex first = window.treeModel()->index(0, 0);
            window.treeView()->setCurrentIndex(first);
            window.treeView()->expand(first);
            QApplication::processEvents();
            const bool saved = window.grab().save(snapshot, "PNG");
            QStringList blank;
            auto check = [&blank](const char* what, const QVariant& icon) {
                if (!iconDraws(icon.value<QIcon>()))
                    blank << QString::fromLatin1(what);
            };
            check("tree", first.data(Qt::DecorationRole));
            check("list", window.listModel()->index(0, 0).data(Qt::DecorationRole));
            QVariant arrow;
            for (int column = 0; column < 4 && !arrow.isValid(); ++column)
                arrow = window.listModel()->headerData(column, Qt::Horizontal, Qt::DecorationRole);
            check("header", arrow);
            check("search", window.searchBar()->Button_search->icon());
            check("window", window.windowIcon());
            QTextStream(stderr) << "qarvenda: " << (saved ? "saved " : "could not save ") << snapshot << "; "
                                << window.treeModel()->rowCount() << " top-level directories from " << file
                                << "; pictures not drawn: " << (blank.isEmpty() ? QStringLiteral("none") : blank.join(", "))
                                << Qt::endl;
        });
    }
    const int status = app.exec();
    window.saveWindowState();
    return status;
}

}  // namespace qv
