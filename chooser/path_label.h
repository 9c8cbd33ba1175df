#pragma once

#include <QLabel>

namespace chooser {

// A label for a path: its text stays the full path, and it paints that path shortened to its
// width (ShortenPath), on one line, "&" shown as written.
class TPathLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TPathLabel(QWidget *parent = nullptr);

    // The text as painted at the label's present width and font.
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace chooser
