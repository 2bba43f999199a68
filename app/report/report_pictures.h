// The report's pictures, one per section and view, painted into any QPainter (a PDF page gets
// vectors, the HTML an image). Each picture is one function, so that the views' own painting
// can take the place of what is drawn here.
#pragma once

#include <QRectF>

#include "analysis/pile_analysis.h"

class QPainter;

namespace lx9 {

enum class ReportPicture { WaveTrain, Curves };
inline constexpr ReportPicture kReportPictures[] = {ReportPicture::WaveTrain, ReportPicture::Curves};
const char* reportPictureCaption(ReportPicture picture);
// A short name for progress lines: "波列图", "曲线图".
const char* reportPictureName(ReportPicture picture);

// Width / height the picture is drawn at best (the rectangle given is filled keeping it).
double reportPictureAspect(ReportPicture picture);

void paintReportPicture(QPainter& painter, const QRectF& rect, ReportPicture picture, const CInfo& info,
                        const SectionLists& lists, const PileAnalysis& pile, const SectionAnalysis& section);

}  // namespace lx9
