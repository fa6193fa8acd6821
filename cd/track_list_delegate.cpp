#include "cd/track_list_delegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <cstdlib>

namespace cd {

void TrackListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    const QFontMetrics fm(opt.font);
    const double unit = fm.horizontalAdvance(QStringLiteral(
                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                        52.0 / 4.0;
    const QRect r = opt.rect.adjusted(2, 0, -2, 0);
    painter->save();
    painter->setClipRect(opt.rect);
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                         : QPalette::Text));
    const QStringList fields = text.split(QLatin1Char('\t'));
    int x = r.left();
    for (int i = 0; i < fields.size(); ++i) {
        const QString& field = fields[i];
        const int width = fm.horizontalAdvance(field);
        if (i == 0) {
            painter->drawText(QRect(x, r.top(), width + 1, r.height()), Qt::AlignVCenter, field);
            x += width;
            continue;
        }
        // The stop this TAB moves to.
        int stop = 0;
        bool right = false;
        if (size_t(i - 1) < stops_.size()) {
            // A stop beyond the row (a wide font) is taken at its right edge.
            stop = std::min(r.right(), r.left() + int(std::abs(stops_[size_t(i - 1)]) * unit));
            right = stops_[size_t(i - 1)] < 0;
        } else {
            const int step = int(32 * unit);
            stop = r.left() + ((x - r.left()) / step + 1) * step;
        }
        if (right) {
            const int left = std::max(x, stop - width);
            painter->drawText(QRect(left, r.top(), stop - left, r.height()),
                              Qt::AlignVCenter | Qt::AlignRight, field);
            x = std::max(x, stop);
        } else {
            x = std::max(x + 1, stop);
            // A long name gives way to a right-aligned field after it.
            int room = width;
            if (i + 1 < fields.size() && size_t(i) < stops_.size() && stops_[size_t(i)] < 0) {
                const int nextStop =
                    std::min(r.right(), r.left() + int(std::abs(stops_[size_t(i)]) * unit));
                room = std::min(width, nextStop - fm.horizontalAdvance(fields[i + 1]) - 4 - x);
            }
            const QString shown = room < width ? fm.elidedText(field, Qt::ElideRight, room) : field;
            painter->drawText(QRect(x, r.top(), std::max(room, 0) + 1, r.height()),
                              Qt::AlignVCenter, shown);
            x += std::max(room, 0);
        }
    }
    painter->restore();
}

}  // namespace cd
