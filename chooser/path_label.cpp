#include "chooser/path_label.h"

#include "chooser/current_folder.h"
#include "chooser/shorten_path.h"

#include <QPainter>

namespace chooser {

TPathLabel::TPathLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

void TPathLabel::follow(const CurrentFolder *folder)
{
    setText(folder->text());
    connect(folder, &CurrentFolder::changed, this, [this, folder] { setText(folder->text()); });
}

QString TPathLabel::shownText() const
{
    const QFontMetrics metrics = fontMetrics();
    return ShortenPath(text(), contentsRect().width(),
        [&metrics](const QString &t) { return metrics.horizontalAdvance(t); });
}

QSize TPathLabel::minimumSizeHint() const
{
    // The whole point is to fit any path into a fixed width.
    return QSize(0, fontMetrics().height());
}

void TPathLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, shownText());
}

} // namespace chooser
