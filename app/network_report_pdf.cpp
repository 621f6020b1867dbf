#include "app/network_report_pdf.h"

#include <QFile>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace quinterra {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString Local(TSystemTime time) { return Q(LocalText(time, false)); }

// One page, drawn from the top down.
class TPage {
 public:
  TPage(QPainter& painter, QRect area) : painter_(painter), area_(area), y_(area.top()) {}

  void Text(const QString& text, int points, bool bold = false, QColor colour = Qt::black) {
    QFont font("DejaVu Sans");
    font.setPointSize(points);
    font.setBold(bold);
    painter_.setFont(font);
    painter_.setPen(colour);
    const QFontMetrics metrics(font, painter_.device());
    painter_.drawText(QRect(area_.left(), y_, area_.width(), metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(text, Qt::ElideRight, area_.width()));
    y_ += metrics.height();
  }
  void Space(int pixels) { y_ += pixels; }
  int Y() const { return y_; }
  int Bottom() const { return area_.bottom(); }
  QRect Area() const { return area_; }
  QPainter& Painter() { return painter_; }

 private:
  QPainter& painter_;
  QRect area_;
  int y_;
};

void DrawBar(TPage& page, const TNetworkReport& report, const TPanelReport& panel, int height) {
  QPainter& painter = page.Painter();
  const QRect bar(page.Area().left(), page.Y(), page.Area().width(), height);
  const double span = std::chrono::duration<double>(report.To - report.From).count();
  painter.fillRect(bar, ReportStateColour(TReportState::Unknown));
  for (const TReportSegment& s : panel.Segments) {
    if (span <= 0) break;
    const double a = std::chrono::duration<double>(s.From - report.From).count() / span;
    const double b = std::chrono::duration<double>(s.To - report.From).count() / span;
    const int left = bar.left() + static_cast<int>(a * bar.width());
    const int right = bar.left() + static_cast<int>(b * bar.width());
    // A short stretch stays visible as a line.
    painter.fillRect(QRect(left, bar.top(), std::max(right - left, 2), height), ReportStateColour(s.State));
  }
  painter.setPen(QPen(Qt::black, 2));
  painter.drawRect(bar);
  page.Space(height);
}

void DrawPanel(TPage& page, const TNetworkReport& report, const TPanelReport& panel, int rows_left) {
  const double share = panel.Asked.count() > 0
                           ? static_cast<double>(panel.Verified.count()) / static_cast<double>(panel.Asked.count())
                           : -1;
  page.Text(QString("Panel %1: %2").arg(PanelTitle(panel.Panel),
                                         share < 0 ? QString("no pedido en el periodo")
                                                   : Q(ShareText(share)) + " verificada"),
            12, true);
  page.Space(20);
  DrawBar(page, report, panel, 60);
  page.Space(20);
  QPainter& painter = page.Painter();
  QFont font("DejaVu Sans");
  font.setPointSize(8);
  const QFontMetrics metrics(font, painter.device());
  const int row = metrics.height() + 6;
  const QRect area = page.Area();
  // Desde, Hasta, Duración, Estado, Versión, Motivo.
  const int x[] = {area.left(), area.left() + area.width() * 16 / 100, area.left() + area.width() * 32 / 100,
                   area.left() + area.width() * 42 / 100, area.left() + area.width() * 57 / 100,
                   area.left() + area.width() * 64 / 100, area.right()};
  auto line = [&](const QStringList& cells, bool bold, QColor swatch) {
    font.setBold(bold);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int i = 0; i < cells.size(); ++i) {
      QRect cell(x[i], page.Y(), x[i + 1] - x[i] - 10, row);
      if (i == 3 && swatch.isValid()) {
        painter.fillRect(QRect(cell.left(), cell.top() + 4, row - 8, row - 8), swatch);
        cell.setLeft(cell.left() + row);
      }
      painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                       metrics.elidedText(cells[i], Qt::ElideRight, cell.width()));
    }
    page.Space(row);
  };
  line({"Desde", "Hasta", "Duración", "Estado", "Versión", "Motivo"}, true, QColor());
  const int count = static_cast<int>(panel.Segments.size());
  const int shown = std::min(count, std::max(rows_left - 1, 1));
  for (int i = 0; i < shown; ++i) {
    const TReportSegment& s = panel.Segments[static_cast<size_t>(i)];
    line({Local(s.From), Local(s.To), Q(DurationText(std::chrono::duration_cast<std::chrono::milliseconds>(s.To - s.From))),
          ReportStateText(s.State), s.Version ? QString::number(s.Version) : QString(), Q(s.Reason)},
         false, ReportStateColour(s.State));
  }
  if (shown < count)
    line({QString("… y %1 tramos más: véase el informe en CSV").arg(count - shown)}, false, QColor());
}

}  // namespace

QColor ReportStateColour(TReportState state) {
  switch (ReportStateTone(state)) {
    case TVerdictTone::Good: return QColor(120, 200, 120);
    case TVerdictTone::Warning: return QColor(240, 200, 80);
    case TVerdictTone::Bad: return QColor(225, 110, 110);
    case TVerdictTone::Off: break;
  }
  return QColor(200, 200, 200);
}

bool WriteReportPdf(const TNetworkReport& report, const std::string& path, std::string* failure) {
  QPdfWriter writer(Q(path));
  writer.setResolution(300);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                   QPageLayout::Millimeter));
  writer.setTitle(QString("Informe de la red «%1»").arg(Q(report.Network)));
  writer.setCreator("Quinterra");
  QPainter painter;
  if (!painter.begin(&writer)) {
    if (failure) *failure = "no se puede escribir " + path;
    return false;
  }
  const QRect area = painter.viewport();
  const QString period = QString("Del %1 al %2").arg(Local(report.From), Local(report.To));
  const int pages = std::max<int>(static_cast<int>(report.Shops.size()), 1);
  for (int index = 0; index < pages; ++index) {
    if (index > 0) writer.newPage();
    TPage page(painter, area);
    page.Text(QString("Informe de la red «%1»").arg(Q(report.Network)), 16, true);
    page.Text(period, 10);
    page.Space(40);
    if (report.Shops.empty()) {
      page.Text("El registro no nombra ninguna tienda en este periodo.", 12);
      break;
    }
    const TShopReport& shop = report.Shops[static_cast<size_t>(index)];
    page.Text(QString("Tienda %1").arg(Q(shop.Shop)), 14, true);
    page.Space(10);
    page.Text(Q(ShareSentence(shop.VerifiedShare())), 13, true,
              shop.VerifiedShare() >= 0.99 ? QColor(30, 110, 30) : QColor(150, 40, 40));
    if (shop.Unrecorded.count() > 0)
      page.Text(QString("Sin registro de la oficina durante %1").arg(Q(DurationText(shop.Unrecorded))), 10);
    page.Space(40);
    // The page's rest shared between the two panels.
    QFont probe("DejaVu Sans");
    probe.setPointSize(8);
    const int row = QFontMetrics(probe, &writer).height() + 6;
    const int rows = std::max((page.Bottom() - page.Y() - 600) / row / 2, 3);
    DrawPanel(page, report, shop.Results, rows);
    page.Space(50);
    DrawPanel(page, report, shop.Jackpots, rows);
    QFont small("DejaVu Sans");
    small.setPointSize(7);
    painter.setFont(small);
    painter.setPen(Qt::gray);
    painter.drawText(QRect(area.left(), area.bottom() - 60, area.width(), 60), Qt::AlignRight | Qt::AlignBottom,
                     QString("Página %1 de %2").arg(index + 1).arg(pages));
  }
  if (!painter.end()) {
    if (failure) *failure = "no se pudo terminar " + path;
    return false;
  }
  if (!QFile::exists(Q(path))) {
    if (failure) *failure = "no se puede escribir " + path;
    return false;
  }
  return true;
}

}  // namespace quinterra
