#pragma once

#include <QLabel>

namespace chooser {

class CurrentFolder;

// A label for a path: its text stays the full path, and it paints that path shortened to its
// width (ShortenPath), on one line, "&" shown as written.
class TPathLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TPathLabel(QWidget *parent = nullptr);

    // Makes the label a view of folder (which must outlive it): its text is the folder's, now
    // and after every change.
    void follow(const CurrentFolder *folder);

    // The text as painted at the label's present width and font.
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace chooser
