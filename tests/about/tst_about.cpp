#include "frmabout.h"
#include "richtext.h"
#include "rtfreader.h"
#include "scripteddesktop.h"
#include "testapp.h"
#include "uitest.h"
#include "fonts.h"
#include "frmmain.h"
#include "ui_frmabout.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QScreen>
#include <QtTest>

#include <functional>

using namespace kolta;
using namespace kolta::about;

namespace {

const QChar LineBreak(0x2028);

QByteArray rtf(const char *body)
{
    return QByteArray("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 MS Sans Serif;}{\\f1 Courier New;}}"
                      "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}")
        + body + '}';
}

QString runsOf(const RtfParagraph &paragraph)
{
    // One word per run: its text in brackets and the formatting that differs from plain.
    QStringList out;
    for (const RtfRun &run : paragraph.runs) {
        QString item = QLatin1Char('[') + run.text + QLatin1Char(']');
        if (run.format.bold)
            item += QLatin1String("b");
        if (run.format.italic)
            item += QLatin1String("i");
        if (run.format.underline)
            item += QLatin1String("u");
        out << item;
    }
    return out.join(QLatin1Char(' '));
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// About... of the main window; script runs while the about box is up.
void whileModal(frmmain &main, const std::function<void(frmAbout &)> &script)
{
    test::whileModal<frmAbout>([&main] { main.mbAbout_Click(); }, script);
}

} // namespace

class tst_About : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installClassicFonts(); }

    void plainText_data();
    void plainText();
    void formattingRuns();
    void nestedGroupsRestoreFormat();
    void fontsSizesColours();
    void alignment();
    void paragraphFormat();
    void malformed_data();
    void malformed();
    void hugeNesting();
    void fuzz();
    void unreadableFile();

    void toTextDocument();
    void ourAboutText();

    void windowDesign();
    void loadFile();
    void startupLoadsTextOnce();
    void frameCloseLeavesEmptyBox();
    void programStartsWithoutAboutText_data();
    void programStartsWithoutAboutText();
};

void tst_About::plainText_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("words") << rtf("Hello, world") << QStringLiteral("Hello, world");
    QTest::newRow("delimiter space eaten") << rtf("\\b Bold\\b0  plain") << QStringLiteral("Bold plain");
    QTest::newRow("paragraphs") << rtf("one\\par two\\par three") << QStringLiteral("one\ntwo\nthree");
    QTest::newRow("line and tab") << rtf("a\\line b\\tab c") << QStringLiteral("a") + LineBreak + QStringLiteral("b\tc");
    QTest::newRow("escaped symbols") << rtf("\\{x\\} \\\\") << QStringLiteral("{x} \\");
    QTest::newRow("raw line ends ignored") << rtf("ab\r\ncd\ne") << QStringLiteral("abcde");
    QTest::newRow("default code page") << rtf("caf\\'e9 \\'80") << QStringLiteral("café €");
    QTest::newRow("upper-case hex") << rtf("\\'C9t\\'E9") << QStringLiteral("Été");
    QTest::newRow("ansicpg 1251") << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}")
                                  << QStringLiteral("Привет");
    QTest::newRow("ansicpg 1253") << QByteArray("{\\rtf1\\ansi\\ansicpg1253 \\'e1\\'e2}") << QStringLiteral("αβ");
    QTest::newRow("double-byte code page") << QByteArray("{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'82\\'a2}")
                                           << QStringLiteral("あい");
    QTest::newRow("font charset wins") << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}"
                                                     "{\\f1\\fcharset204 Arial Cyr;}}\\f0\\'e0\\f1\\'e0}")
                                       << QStringLiteral("àа");
    QTest::newRow("unknown code page") << QByteArray("{\\rtf1\\ansicpg99999 \\'e9}") << QStringLiteral("é");
    QTest::newRow("unicode with fallback") << rtf("\\u8364?x") << QStringLiteral("€x");
    QTest::newRow("unicode fallback as hex") << rtf("\\u8364\\'80x") << QStringLiteral("€x");
    QTest::newRow("uc2") << rtf("\\uc2\\u8364 EUR") << QStringLiteral("€R");
    QTest::newRow("uc0") << rtf("\\uc0\\u8364 x") << QStringLiteral("€x");
    QTest::newRow("uc is per group") << rtf("{\\uc2\\u945 ab}\\u946 cd") << QStringLiteral("αβd");
    QTest::newRow("negative unicode") << rtf("\\u-3913?") << QString(QChar(0xF0B7));
    QTest::newRow("surrogate pair") << rtf("\\u-10179?\\u-8694?") << QStringLiteral("😊");
    QTest::newRow("fallback ends at group") << rtf("{\\uc3\\u945 a}b") << QStringLiteral("αb");
    QTest::newRow("ignorable destination") << rtf("a{\\*\\generator Word;}b") << QStringLiteral("ab");
    QTest::newRow("unknown ignorable with groups") << rtf("a{\\*\\foo x{y}{\\b z}}b") << QStringLiteral("ab");
    QTest::newRow("known skipped destinations")
        << rtf("a{\\stylesheet{\\s0 Normal;}}b{\\info{\\title T}{\\author A}}c{\\pict\\wmetafile8 0102}d")
        << QStringLiteral("abcd");
    QTest::newRow("unknown words skipped") << rtf("\\foo a\\bar12 b\\baz-3 c") << QStringLiteral("abc");
    QTest::newRow("unknown non-ignorable group shows") << rtf("a{\\strange b}c") << QStringLiteral("abc");
    QTest::newRow("field result shown")
        << rtf("see {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt the site}}.")
        << QStringLiteral("see the site.");
    QTest::newRow("binary data skipped") << rtf("a{\\*\\blob\\bin4 }{\\}}b") << QStringLiteral("ab");
    QTest::newRow("specials") << rtf("\\bullet\\~\\emdash\\endash\\lquote\\rquote\\ldblquote\\rdblquote")
                              << QStringLiteral("•\u00A0—–‘’“”");
    QTest::newRow("text after the document ignored") << QByteArray("{\\rtf1 in}out") << QStringLiteral("in");
    QTest::newRow("empty") << QByteArray() << QString();
}

void tst_About::plainText()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QCOMPARE(parseRtf(input).text(), expected);
}

void tst_About::formattingRuns()
{
    const RtfDocument doc = parseRtf(rtf("a\\b b\\i c\\b0 d\\i0\\ul e\\ulnone f\\ul\\b\\i g\\plain h"));
    QCOMPARE(doc.paragraphs.size(), 1);
    QCOMPARE(runsOf(doc.paragraphs[0]), QStringLiteral("[a] [b]b [c]bi [d]i [e]u [f] [g]biu [h]"));

    // Runs of one format are merged, across escapes and unicode characters.
    const RtfDocument merged = parseRtf(rtf("\\b x\\'e9\\u8364?y"));
    QCOMPARE(runsOf(merged.paragraphs[0]), QStringLiteral("[xé€y]b"));
}

void tst_About::nestedGroupsRestoreFormat()
{
    const RtfDocument doc = parseRtf(rtf("a{\\b b{\\i c{\\ul d}e}f}g"));
    QCOMPARE(runsOf(doc.paragraphs[0]), QStringLiteral("[a] [b]b [c]bi [d]biu [e]bi [f]b [g]"));
    const RtfDocument paragraphs = parseRtf(rtf("{\\b one\\par two}\\par three"));
    QCOMPARE(paragraphs.paragraphs.size(), 3);
    QCOMPARE(runsOf(paragraphs.paragraphs[1]), QStringLiteral("[two]b"));
    QCOMPARE(runsOf(paragraphs.paragraphs[2]), QStringLiteral("[three]"));
}

void tst_About::fontsSizesColours()
{
    const RtfDocument doc = parseRtf(rtf("a\\f1 b\\fs24 c\\cf1 d\\cf2 e\\cf0 f\\f7 g\\plain h"));
    const QList<RtfRun> &runs = doc.paragraphs[0].runs;
    QCOMPARE(runs.size(), 8);
    QCOMPARE(runs[0].format.fontFamily, QStringLiteral("MS Sans Serif"));   // \deff0
    QCOMPARE(runs[1].format.fontFamily, QStringLiteral("Courier New"));
    QCOMPARE(runs[1].format.halfPoints, 0);
    QCOMPARE(runs[2].format.halfPoints, 24);
    QVERIFY(!runs[2].format.color);
    QCOMPARE(runs[3].format.color, std::optional<RtfColor>(RtfColor{255, 0, 0}));
    QCOMPARE(runs[4].format.color, std::optional<RtfColor>(RtfColor{0, 0, 128}));
    QVERIFY(!runs[5].format.color);
    QCOMPARE(runs[6].format.fontFamily, QString());                        // not in the table
    QCOMPARE(runs[7].format.fontFamily, QStringLiteral("MS Sans Serif"));
    QCOMPARE(runs[7].format.halfPoints, 0);

    // Font entries without braces, with alternative names and panose data.
    const RtfDocument table = parseRtf(QByteArray(
        "{\\rtf1{\\fonttbl\\f0\\fnil Tahoma;\\f1{\\*\\panose 020b0604}Verdana{\\*\\falt Ver};}"
        "{\\colortbl\\red1\\green2\\blue3;}\\f1\\cf0 x}"));
    QCOMPARE(table.paragraphs[0].runs[0].format.fontFamily, QStringLiteral("Verdana"));
    QVERIFY(!table.paragraphs[0].runs[0].format.color);     // colour 0 is always the default
}

void tst_About::alignment()
{
    const RtfDocument doc = parseRtf(rtf("\\qc centred\\par\\pard right?\\qr yes\\par\\ql left\\par"
                                         "\\qj just\\par{\\qc inner\\par}plain"));
    QCOMPARE(doc.paragraphs.size(), 6);
    QCOMPARE(doc.paragraphs[0].alignment, RtfAlignment::Center);
    QCOMPARE(doc.paragraphs[1].alignment, RtfAlignment::Right);
    QCOMPARE(doc.paragraphs[2].alignment, RtfAlignment::Left);
    QCOMPARE(doc.paragraphs[3].alignment, RtfAlignment::Justify);
    QCOMPARE(doc.paragraphs[4].alignment, RtfAlignment::Center);
    QCOMPARE(doc.paragraphs[5].alignment, RtfAlignment::Justify);
}

void tst_About::paragraphFormat()
{
    const RtfDocument doc = parseRtf(rtf("\\li300\\fi-300\\tx300\\tx900\\sb60\\sa120 a\\par b\\par"
                                         "\\pard c\\par{\\li99999999 d\\par}"));
    QCOMPARE(doc.paragraphs.size(), 4);
    for (int i : {0, 1}) {
        const RtfParagraph &p = doc.paragraphs[i];
        QCOMPARE(p.leftIndent, 300);
        QCOMPARE(p.firstLineIndent, -300);
        QCOMPARE(p.tabStops, (QList<int>{300, 900}));
        QCOMPARE(p.spaceBefore, 60);
        QCOMPARE(p.spaceAfter, 120);
    }
    QVERIFY(static_cast<const RtfParagraphFormat &>(doc.paragraphs[2]) == RtfParagraphFormat());
    QCOMPARE(doc.paragraphs[3].leftIndent, 31680);
}

void tst_About::malformed_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("unclosed document") << QByteArray("{\\rtf1 abc{\\b def") << QStringLiteral("abcdef");
    QTest::newRow("extra closing braces") << QByteArray("{\\rtf1 a}}}b") << QStringLiteral("a");
    QTest::newRow("closing before opening") << QByteArray("}}{\\rtf1 x}") << QStringLiteral("x");
    QTest::newRow("truncated hex") << QByteArray("{\\rtf1 a\\'4") << QStringLiteral("a");
    QTest::newRow("hex without digits") << QByteArray("{\\rtf1 a\\'zz}") << QStringLiteral("azz");
    QTest::newRow("one hex digit") << QByteArray("{\\rtf1 a\\'4g}") << QStringLiteral("ag");
    QTest::newRow("lone backslash at end") << QByteArray("{\\rtf1 a\\") << QStringLiteral("a");
    QTest::newRow("unicode without number") << QByteArray("{\\rtf1 a\\u") << QStringLiteral("a");
    QTest::newRow("unicode at end") << QByteArray("{\\rtf1 a\\u8364") << QStringLiteral("a€");
    QTest::newRow("minus without digits") << QByteArray("{\\rtf1 a\\fs- b}") << QStringLiteral("a- b");
    QTest::newRow("huge parameter") << QByteArray("{\\rtf1\\fs99999999999999999999 a\\uc99999999\\u65 b}")
                                    << QStringLiteral("aA");
    QTest::newRow("huge colour index") << QByteArray("{\\rtf1{\\colortbl;}\\cf2147483647 a\\cf-5 b}")
                                       << QStringLiteral("ab");
    QTest::newRow("binary longer than file") << QByteArray("{\\rtf1 a\\bin999999 xyz}") << QStringLiteral("a");
    QTest::newRow("negative binary length") << QByteArray("{\\rtf1 a\\bin-5 b}") << QStringLiteral("ab");
    QTest::newRow("unclosed font table") << QByteArray("{\\rtf1{\\fonttbl{\\f0 Ari") << QString();
    QTest::newRow("very long control word") << QByteArray("{\\rtf1 a\\") + QByteArray(100000, 'x')
                                                   + QByteArray(" b}")
                                            << QStringLiteral("ab");
    QTest::newRow("nul bytes") << QByteArray("{\\rtf1 a\0b}", 11) << QStringLiteral("ab");
    QTest::newRow("not rich text") << QByteArray("plain words") << QStringLiteral("plain words");
}

void tst_About::malformed()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QCOMPARE(parseRtf(input).text(), expected);
}

void tst_About::hugeNesting()
{
    const int depth = 1'000'000;
    const QByteArray deep = "{\\rtf1 a" + QByteArray(depth, '{') + "\\b deep" + QByteArray(depth, '}') + "b}";
    const RtfDocument doc = parseRtf(deep);
    QCOMPARE(doc.text(), QStringLiteral("adeepb"));
    QCOMPARE(runsOf(doc.paragraphs[0]), QStringLiteral("[a] [deep]b [b]"));

    // Never closed at all.
    QCOMPARE(parseRtf(QByteArray(depth, '{') + "x").text(), QStringLiteral("x"));
}

void tst_About::fuzz()
{
    // Mutations of valid documents: each must parse without a fault (the
    // sanitizers watch) and turn into a text document.
    QList<QByteArray> seeds{
        rtf("a\\b b{\\i c\\'e9\\u8364?}\\par\\qc d\\line e\\tab f"),
        rtf("{\\*\\x y}{\\field{\\*\\fldinst A}{\\fldrslt B}}\\uc2\\u945 ab\\bin3 xyz"),
        QByteArray("{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset128 MS Gothic;}}\\f0\\'82\\'a0}"),
    };
    QFile ours(QStringLiteral(KOLTA_ABOUT_TEXT));
    if (ours.open(QIODevice::ReadOnly))
        seeds << ours.readAll();

    static const char tokens[][8] = {"{", "}", "\\", "\\'", "\\u", "\\*", "\\par", "\\bin", "\\uc9", "\\'8", ";"};
    QRandomGenerator random(20261207);
    QTextDocument document;
    for (int round = 0; round < 3000; ++round) {
        QByteArray input = seeds[random.bounded(qsizetype(seeds.size()))];
        const int edits = 1 + random.bounded(8);
        for (int e = 0; e < edits && !input.isEmpty(); ++e) {
            const qsizetype at = random.bounded(input.size());
            switch (random.bounded(5)) {
            case 0:
                input[at] = char(random.bounded(256));
                break;
            case 1:
                input.insert(at, tokens[random.bounded(int(std::size(tokens)))]);
                break;
            case 2:
                input.remove(at, random.bounded(qsizetype(16)));
                break;
            case 3:
                input.truncate(at);
                break;
            case 4:
                input.insert(at, input.mid(random.bounded(input.size()), 32));
                break;
            }
        }
        const RtfDocument doc = parseRtf(input);
        if (round % 10 == 0)
            fillTextDocument(document, doc);
    }
}

void tst_About::unreadableFile()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.rtf"));
    const auto notThere = readRtfFile(missing);
    QVERIFY(!notThere.ok());
    QVERIFY2(notThere.error().message.contains(missing), qPrintable(notThere.error().message));
    QVERIFY(!readRtfFile(dir.path()).ok());
    const QString empty = dir.filePath(QStringLiteral("empty.rtf"));
    QVERIFY(writeFile(empty, QByteArray()));
    const auto doc = readRtfFile(empty);
    QVERIFY(doc.ok());
    QVERIFY(doc.value().paragraphs.isEmpty());
}

void tst_About::toTextDocument()
{
    QTextDocument document;
    fillTextDocument(document, parseRtf(rtf("\\qc\\b\\fs32\\cf2 Title\\par\\pard\\plain\\i\\f1 mono\\i0  "
                                            "\\ul under\\par\\qr x\\line y")));
    QCOMPARE(document.blockCount(), 3);
    const QTextBlock title = document.firstBlock();
    QCOMPARE(title.text(), QStringLiteral("Title"));
    QCOMPARE(title.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const QTextCharFormat titleFormat = title.begin().fragment().charFormat();
    QCOMPARE(titleFormat.fontWeight(), int(QFont::Bold));
    QCOMPARE(titleFormat.fontPointSize(), 16.0);
    QCOMPARE(titleFormat.foreground().color(), QColor(0, 0, 128));

    const QTextBlock second = title.next();
    QCOMPARE(second.text(), QStringLiteral("mono under"));
    QCOMPARE(second.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    const QTextCharFormat mono = second.begin().fragment().charFormat();
    QVERIFY(mono.fontItalic());
    QVERIFY(mono.fontWeight() != int(QFont::Bold));
    QCOMPARE(mono.fontFamilies().toStringList(), QStringList{QStringLiteral("Courier New")});
    QVERIFY(!mono.hasProperty(QTextFormat::FontPointSize));
    QTextBlock::iterator it = second.begin();
    ++it;
    ++it;
    QCOMPARE(it.fragment().text(), QStringLiteral("under"));
    QVERIFY(it.fragment().charFormat().fontUnderline());

    QCOMPARE(second.blockFormat().leftMargin(), 0.0);

    const QTextBlock third = second.next();
    QCOMPARE(third.text(), QStringLiteral("x") + LineBreak + QStringLiteral("y"));
    QCOMPARE(third.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    fillTextDocument(document, parseRtf(rtf("\\li300\\fi-150\\tx450\\sa90 x\\tab y")));
    QCOMPARE(document.blockCount(), 1);
    const QTextBlockFormat indented = document.firstBlock().blockFormat();
    QCOMPARE(indented.leftMargin(), 20.0);
    QCOMPARE(indented.textIndent(), -10.0);
    QCOMPARE(indented.bottomMargin(), 6.0);
    QCOMPARE(indented.tabPositions().size(), 1);
    QCOMPARE(indented.tabPositions().first().position, 30.0);
}

void tst_About::ourAboutText()
{
    const auto read = readRtfFile(QStringLiteral(KOLTA_ABOUT_TEXT));
    QVERIFY(read.ok());
    const RtfDocument &doc = read.value();
    QVERIFY(doc.paragraphs.size() > 5);
    const RtfParagraph &title = doc.paragraphs.first();
    QCOMPARE(title.text(), QStringLiteral("KOLTA"));
    QCOMPARE(title.alignment, RtfAlignment::Center);
    QVERIFY(title.runs.first().format.bold);
    const QString text = doc.text();
    QVERIFY(text.contains(QStringLiteral("read-only")));
    QVERIFY(text.contains(QStringLiteral("ASP")));
    QVERIFY(text.contains(QStringLiteral("—")));

    // The copy beside the program is the same file.
    QFile source(QStringLiteral(KOLTA_ABOUT_TEXT));
    QFile copy(QCoreApplication::applicationDirPath() + QStringLiteral("/kolta.rtf"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), source.readAll());
}

void tst_About::windowDesign()
{
    Module1 session;
    test::ScriptedDesktop desktop;
    frmAbout window(session, desktop);
    const Ui::frmAbout &f = window.ui();
    QCOMPARE(window.objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(window.windowTitle(), QStringLiteral("KOLTA"));
    QCOMPARE(window.size(), QSize(471, 303));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags.testFlag(Qt::Dialog));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    const QRect screen = window.screen()->availableGeometry();
    QCOMPARE(window.pos(), screen.center() - window.rect().center());
    QCOMPARE(f.RichTextBox1->objectName(), QStringLiteral("RichTextBox1"));
    QCOMPARE(f.RichTextBox1->geometry(), QRect(9, 6, 449, 257));
    QVERIFY(f.RichTextBox1->isReadOnly());
    QCOMPARE(f.RichTextBox1->document()->defaultFont().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(f.RichTextBox1->document()->defaultFont().pointSizeF(), 8.25);
    QVERIFY(f.RichTextBox1->document()->isEmpty());
    QCOMPARE(f.OKButton->text(), QStringLiteral("Done"));
    QCOMPARE(f.OKButton->geometry(), QRect(379, 271, 81, 25));
    QVERIFY(!f.OKButton->isDefault() && !f.OKButton->autoDefault());

    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(QApplication::focusWidget(), f.OKButton);
    QTest::keyClick(f.OKButton, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), f.RichTextBox1);
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(window.isVisible());
    QTest::keyClicks(f.RichTextBox1, QStringLiteral("typed"));
    QVERIFY(f.RichTextBox1->document()->isEmpty());
    QTest::mouseClick(f.OKButton, Qt::LeftButton);
    QVERIFY(!window.isVisible());
}

void tst_About::loadFile()
{
    Module1 session;
    test::ScriptedDesktop desktop;
    frmAbout window(session, desktop);
    QTextEdit *box = window.ui().RichTextBox1;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.rtf"));
    QByteArray body;
    for (int i = 0; i < 60; ++i)
        body += "Line " + QByteArray::number(i) + "\\par ";
    QVERIFY(writeFile(path, rtf(body.constData())));
    QVERIFY(window.LoadFile(path).ok());
    QVERIFY(box->toPlainText().startsWith(QStringLiteral("Line 0\nLine 1\n")));

    // Long text scrolls.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(box->verticalScrollBar()->isVisible());
    window.hide();

    QVERIFY(!window.LoadFile(dir.filePath(QStringLiteral("missing.rtf"))).ok());
    QCOMPARE(box->toPlainText(), QString());
}

void tst_About::startupLoadsTextOnce()
{
    test::App app;
    QVERIFY(!app.window.findChild<frmAbout *>());
    app.window.Form_Load();
    frmAbout *about = app.window.findChild<frmAbout *>();
    QVERIFY(about);
    QVERIFY(!about->isVisible());
    QTextDocument *document = about->ui().RichTextBox1->document();
    const QString text = document->toPlainText();
    QVERIFY(text.startsWith(QStringLiteral("KOLTA\n")));
    const int revision = document->revision();

    for (int visit = 0; visit < 2; ++visit) {
        whileModal(app.window, [&](frmAbout &window) {
            QCOMPARE(&window, about);
            QCOMPARE(window.ui().RichTextBox1->document(), document);
            QCOMPARE(document->toPlainText(), text);
            QTest::mouseClick(window.ui().OKButton, Qt::LeftButton);
            QVERIFY(!window.isVisible());
        });
    }
    QCOMPARE(document->revision(), revision);
    QCOMPARE(app.window.findChildren<frmAbout *>().size(), 1);
}

void tst_About::frameCloseLeavesEmptyBox()
{
    test::App app;
    app.window.Form_Load();
    whileModal(app.window, [&](frmAbout &window) {
        QVERIFY(!window.ui().RichTextBox1->document()->isEmpty());
        QVERIFY(window.close());
    });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!app.window.findChild<frmAbout *>());

    whileModal(app.window, [&](frmAbout &window) {
        QVERIFY(window.ui().RichTextBox1->document()->isEmpty());
        QTest::mouseClick(window.ui().OKButton, Qt::LeftButton);
    });
    QVERIFY(app.window.findChild<frmAbout *>());
}

void tst_About::programStartsWithoutAboutText_data()
{
    QTest::addColumn<std::optional<QByteArray>>("aboutText");
    QTest::newRow("missing") << std::optional<QByteArray>();
    QTest::newRow("damaged") << std::optional<QByteArray>(QByteArray("{\\rtf1{{{\\'") + QByteArray(5000, '{'));
}

void tst_About::programStartsWithoutAboutText()
{
    QFETCH(std::optional<QByteArray>, aboutText);
    const QString program = QStringLiteral(KOLTA_BIN_DIR "/kolta");
    if (!QFileInfo::exists(program))
        QSKIP("the kolta program is not built");

    // A copy in a folder of its own, since the program looks beside itself.
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("kolta"));
    QVERIFY(QFile::copy(program, copy));
    if (aboutText)
        QVERIFY(writeFile(dir.filePath(QStringLiteral("kolta.rtf")), *aboutText));

    QProcess kolta;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    kolta.setProcessEnvironment(environment);
    kolta.start(copy, {});
    QVERIFY(kolta.waitForStarted());
    // Still running after start-up: the main window is up and waiting.
    QVERIFY(!kolta.waitForFinished(3000));
    QCOMPARE(kolta.state(), QProcess::Running);
    kolta.kill();
    kolta.waitForFinished();
}

QTEST_MAIN(tst_About)
#include "tst_about.moc"
