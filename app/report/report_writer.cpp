#include "report/report_writer.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <chrono>
#include <ctime>

#include "analysis/pile_analysis.h"
#include "report/pick_trail.h"
#include "report/report_model.h"
#include "report/report_pages.h"
#include "report/report_source.h"

namespace lx9 {
namespace {

// Progress on one scale of 1000: reading the pair, analysing, the pictures, writing.
constexpr int kProgressTotal = 1000;
constexpr int kReadEnd = 300, kAnalysisEnd = 350, kPicturesEnd = 950;

std::string nowText() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &local);
    return buffer;
}

std::string lowerExtension(const std::filesystem::path& p) {
    std::string e = p.extension().string();
    for (char& c : e)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

QString html(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped();
}

void htmlTable(QString& out, const ReportTable& t) {
    out += "<table><thead><tr>";
    for (const std::string& c : t.columns)
        out += "<th>" + html(c) + "</th>";
    out += "</tr></thead><tbody>\n";
    for (const auto& row : t.rows) {
        out += "<tr>";
        for (const std::string& c : row)
            out += "<td>" + html(c) + "</td>";
        out += "</tr>\n";
    }
    out += "</tbody></table>\n";
}

void htmlFields(QString& out, const std::vector<ReportField>& fields) {
    out += "<table class=\"fields\"><tbody>\n";
    for (size_t i = 0; i < fields.size(); i += 2) {
        out += "<tr>";
        for (size_t k = i; k < i + 2 && k < fields.size(); ++k)
            out += "<th>" + html(fields[k].label) + "</th><td>" + html(fields[k].value) + "</td>";
        out += "</tr>\n";
    }
    out += "</tbody></table>\n";
}

// The picture as a PNG data: URI, painted by the same function as the PDF's.
QString pictureUri(ReportPicture picture, const CInfo& info, const SectionLists& lists,
                   const PileAnalysis& pile, const SectionAnalysis& section) {
    constexpr int kHeight = 1090;
    const int width = static_cast<int>(kHeight * reportPictureAspect(picture) + 0.5);
    QImage image(width, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        paintReportPicture(p, QRectF(0, 0, width, kHeight), picture, info, lists, pile, section);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return "data:image/png;base64," + QString::fromLatin1(png.toBase64());
}

QByteArray htmlReport(const ReportModel& m, const CInfo& info, const SectionLists& lists,
                      const PileAnalysis& pile,
                      const std::function<void(const ReportSection&, ReportPicture)>& hook) {
    QString out;
    out += "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           html(m.title + " " + info.pileId) + "</title>\n";
    out +=
        "<style>\n"
        "body{font-family:\"SimSun\",\"宋体\",\"WenQuanYi Micro Hei\",sans-serif;max-width:60em;margin:2em "
        "auto;color:#000}\n"
        "h1{text-align:center}table{border-collapse:collapse;margin:.5em 0 1em;width:100%}\n"
        "th,td{border:1px solid #999;padding:.2em .5em;text-align:center}th{background:#e6e6e6}\n"
        "table.fields th{text-align:left;width:18%}table.fields td{text-align:left}\n"
        "figure{display:inline-block;width:46%;margin:0 1.5%;text-align:center;vertical-align:top}\n"
        "figure img{width:100%;border:1px solid #ccc}section{page-break-before:always}\n"
        "</style>\n</head>\n<body>\n";
    out += "<h1>" + html(m.title) + "</h1>\n";
    htmlFields(out, m.header);
    out += "<h2>各剖面仪器参数</h2>\n";
    htmlTable(out, m.settings);
    out += "<h2>检测结果</h2>\n";
    htmlTable(out, m.summary);
    if (m.graded) {
        out += "<p>桩身完整性类别（各测点类别中最差者）：" +
               html(m.pileClass ? pileClassText(m.pileClass) : std::string("无分类测点")) + "</p>\n";
    }
    for (const ReportSection& s : m.sections) {
        out += "<section id=\"section-" + html(s.name) + "\">\n<h2>剖面 " + html(s.name) + "</h2>\n";
        for (ReportPicture picture : kReportPictures) {
            if (hook) hook(s, picture);
            const QString caption = html(s.name + " " + reportPictureCaption(picture));
            out += "<figure><img alt=\"" + caption + "\" src=\"" +
                   pictureUri(picture, info, lists, pile, s.analysis) + "\"><figcaption>" + caption +
                   "</figcaption></figure>\n";
        }
        out += "<h3>统计结果</h3>\n";
        htmlFields(out, s.statistics);
        out += m.graded ? "<h3>低于临界值或类别为Ⅱ至Ⅳ的测点</h3>\n" : "<h3>低于临界值的测点</h3>\n";
        if (s.findings.rows.empty()) {
            out += "<p>无。</p>\n";
        } else {
            htmlTable(out, s.findings);
        }
        out += "</section>\n";
    }
    if (!m.trail.rows.empty() || m.trailSkipped > 0) {
        out += "<section>\n<h2>判读修改记录</h2>\n";
        if (!m.trail.rows.empty()) htmlTable(out, m.trail);
        if (m.trailSkipped > 0)
            out += "<p>记录文件中有 " + QString::number(m.trailSkipped) + " 行无法识别，未列出。</p>\n";
        out += "</section>\n";
    }
    out += "</body>\n</html>\n";
    return out.toUtf8();
}

bool writePdf(QSaveFile& file, const ReportModel& m, const ReportPages& pages, int& pageCount,
              const ReportPages::PictureHook& hook) {
    QPdfWriter pdf(&file);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(600);
    pdf.setTitle(QString::fromStdString(m.title));
    pdf.setCreator(QStringLiteral("LX9"));
    QPainter painter;
    if (!painter.begin(&pdf)) return false;
    for (int i = 0; i < pages.pageCount(); ++i) {
        if (i > 0 && !pdf.newPage()) return false;
        pages.paint(painter, i, pdf.width(), hook);
    }
    pageCount = pages.pageCount();
    return painter.end();
}

}  // namespace

std::optional<ReportKind> reportKindFor(const std::filesystem::path& out) {
    const std::string e = lowerExtension(out);
    if (e == ".pdf") return ReportKind::Pdf;
    if (e == ".html" || e == ".htm") return ReportKind::Html;
    return std::nullopt;
}

std::filesystem::path defaultReportPath(const std::string& chtPath) {
    std::filesystem::path p(chtPath);
    const std::string e = lowerExtension(p);
    if (e == ".cht" || e == ".chd") p.replace_extension();
    return p.parent_path() / (p.filename().string() + "-报告.pdf");
}

ReportOutcome writeReport(const ReportRequest& request, const ReportProgress& progress) {
    ReportOutcome outcome;
    auto fail = [&outcome](int code, std::string error) {
        outcome.exitCode = code;
        outcome.error = std::move(error);
        return outcome;
    };
    auto report = [&progress](int done, const std::string& what) {
        if (progress) progress(done, kProgressTotal, what);
    };
    const auto kind = reportKindFor(request.out);
    if (!kind) return fail(2, "the report must be named .pdf or .html: " + request.out.string());
    if (!request.standard.empty() && !isKnownStandard(request.standard))
        return fail(2, "unknown standard \"" + request.standard + "\" (建筑, 广东建筑, 公路 or 铁路)");
    if (!QGuiApplication::instance()) return fail(1, "no application to draw the report with");

    ReportTest loaded;
    const CInfo* info = request.info;
    SectionLists lists = request.lists;
    if (!info) {
        std::string error;
        report(0, "读取数据");
        const bool ok = openReportTest(request.file, loaded, error, [&](int done, int total) {
            if (total > 0 && (done % 256 == 0 || done == total))
                report(static_cast<int>(static_cast<long long>(done) * kReadEnd / total), "读取数据");
        });
        if (!ok) return fail(2, error);
        info = &loaded.info;
        lists = loaded.pointers();
    }
    const std::string standard = request.standard.empty() ? info->standard : request.standard;
    // A file read afresh starts with whole statistics intervals, as `lx9 analyse` takes it; a test
    // from the workbench keeps the intervals the tester set.
    if (!request.info && standard == kStandardGuangdong) setWholeIntervals(*info, lists);

    // Refuse an unwritable target before the work: the temporary file is opened now.
    QSaveFile file(QString::fromStdString(request.out.string()));
    if (!file.open(QIODevice::WriteOnly))
        return fail(2, "cannot write " + request.out.string() + ": " + file.errorString().toStdString());

    report(kReadEnd, "分析");
    const PileAnalysis pile = analysePile(*info, lists, standard);
    ReportOptions options;
    options.sourceFile = request.file;
    options.standard = standard;
    options.sections = request.sections;
    options.generated = nowText();
    std::string error;
    const auto model = buildReportModel(*info, pile, options, readPickTrail(request.file), error);
    if (!model) {
        file.cancelWriting();
        return fail(2, error);
    }

    const int pictureTotal = static_cast<int>(model->sections.size() * std::size(kReportPictures));
    int picturesDone = 0;
    auto hook = [&](const ReportSection& s, ReportPicture picture) {
        report(kAnalysisEnd + (kPicturesEnd - kAnalysisEnd) * picturesDone / std::max(1, pictureTotal),
               "剖面 " + s.name + " " + reportPictureName(picture));
        ++picturesDone;
    };
    report(kAnalysisEnd, "排版");
    bool written = false;
    if (*kind == ReportKind::Pdf) {
        const ReportPages pages(*model, *info, lists, pile);
        written = writePdf(file, *model, pages, outcome.pages, hook);
    } else {
        const QByteArray bytes = htmlReport(*model, *info, lists, pile, hook);
        written = file.write(bytes) == bytes.size();
    }
    outcome.pictures = picturesDone;
    report(kPicturesEnd, "写入文件");
    if (!written) {
        file.cancelWriting();
        return fail(1, "cannot write " + request.out.string() + ": " + file.errorString().toStdString());
    }
    if (!file.commit())
        return fail(1, "cannot write " + request.out.string() + ": " + file.errorString().toStdString());
    report(kProgressTotal, "完成");
    return outcome;
}

}  // namespace lx9
