// Turns a Markdown manual into a paginated PDF with Qt alone (QTextDocument's
// Markdown reader and QPdfWriter), so the manual needs no tool chain of its
// own. Pictures are looked up relative to the Markdown file and the folders
// given with --images; a picture that does not exist (the renderer was not
// built) is left out instead of printing a broken frame.
//
//   vorn-manual-pdf [--images DIR]... [--font FAMILY] IN.md OUT.pdf

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPageLayout>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>
#include <QTextTable>

#include <cstdio>

namespace {

// Replaces each picture reference by the path of the first existing file, or
// drops it; returns the text and how many pictures were dropped.
QString ResolvePictures(const QString &markdown, const QStringList &folders, int *dropped)
{
    static const QRegularExpression picture(QStringLiteral(R"(!\[([^\]]*)\]\(([^)\s]+)\))"));
    QString out;
    qsizetype last = 0;
    for (auto it = picture.globalMatch(markdown); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(markdown).mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        QString found;
        for (const QString &folder : folders) {
            const QString candidate = folder + u'/' + m.captured(2);
            if (QFileInfo::exists(candidate)) {
                found = QFileInfo(candidate).absoluteFilePath();
                break;
            }
        }
        if (found.isEmpty())
            ++*dropped;
        else
            out += QStringLiteral("![%1](%2)").arg(m.captured(1), found);
    }
    out += QStringView(markdown).mid(last);
    return out;
}

// Pictures come in at their pixel size; a screenshot is wider than a page,
// so each is scaled to the text width (never enlarged).
void FitPictures(QTextDocument &doc, qreal textWidth)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            if (!format.isValid())
                continue;
            // The Markdown names the pictures by plain path, not by file URL.
            const QUrl url(format.name());
            const QSize size = QImageReader(url.isLocalFile() ? url.toLocalFile() : format.name()).size();
            if (!size.isValid() || size.width() <= textWidth)
                continue;
            format.setWidth(textWidth);
            format.setHeight(textWidth * size.height() / size.width());
            QTextCursor cursor(&doc);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
}

// Markdown tables come without lines; a thin grid and some padding make the
// key and switch tables readable on paper.
void FrameTables(QTextDocument &doc)
{
    for (QTextFrame *frame : doc.rootFrame()->childFrames()) {
        auto *table = qobject_cast<QTextTable *>(frame);
        if (!table)
            continue;
        QTextTableFormat format = table->format();
        format.setBorder(1);
        format.setBorderBrush(QColor(150, 150, 150));
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderCollapse(true);
        format.setCellPadding(3);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        table->setFormat(format);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("images"), QStringLiteral("Folder with pictures."), QStringLiteral("dir")});
    parser.addOption({QStringLiteral("font"), QStringLiteral("Body font family."), QStringLiteral("family")});
    parser.addOption({QStringLiteral("title"), QStringLiteral("PDF title."), QStringLiteral("text")});
    parser.addPositionalArgument(QStringLiteral("in"), QStringLiteral("Markdown file."));
    parser.addPositionalArgument(QStringLiteral("out"), QStringLiteral("PDF file."));
    parser.addHelpOption();
    parser.process(app);
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        parser.showHelp(2);

    QFile in(files[0]);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "vorn-manual-pdf: %s: %s\n", qPrintable(files[0]), qPrintable(in.errorString()));
        return 1;
    }
    QStringList folders{QFileInfo(files[0]).absolutePath()};
    folders += parser.values(QStringLiteral("images"));
    int dropped = 0;
    const QString markdown = ResolvePictures(QString::fromUtf8(in.readAll()), folders, &dropped);
    if (dropped > 0)
        std::fprintf(stderr, "vorn-manual-pdf: %s: %d picture(s) not found, left out\n",
                     qPrintable(files[0]), dropped);

    QSaveFile out(files[1]);
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "vorn-manual-pdf: %s: %s\n", qPrintable(files[1]), qPrintable(out.errorString()));
        return 1;
    }
    QPdfWriter writer(&out);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    writer.setResolution(300);
    writer.setTitle(parser.value(QStringLiteral("title")));
    writer.setCreator(QStringLiteral("Vorn Scheduler"));

    QTextDocument doc;
    QFont font(parser.isSet(QStringLiteral("font")) ? parser.value(QStringLiteral("font")) : QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    doc.setMarkdown(markdown);
    FrameTables(doc);
    // QTextDocument::print lays the text out at 96 pixels an inch inside
    // 2 cm margins; pictures are measured in those pixels.
    const qreal textWidth = writer.pageLayout().paintRect(QPageLayout::Inch).width() * 96 - 2 * 2 / 2.54 * 96;
    FitPictures(doc, textWidth);
    doc.print(&writer);
    if (!out.commit()) {
        std::fprintf(stderr, "vorn-manual-pdf: %s: %s\n", qPrintable(files[1]), qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
