#include "cd/cd_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "cd/rip_panel.h"
#include "cd/track_list_delegate.h"
#include "rip/track_list.h"

namespace cd {

namespace {

constexpr int kDesignDpi = 96;
constexpr int kDesignHeight = 600;
constexpr int kRipPanelHeight = 152;  // "Extract All..." below the extraction group

const char* const kButtonCaptions[10] = {
    QT_TRANSLATE_NOOP("frmDemo", "&Play"),     QT_TRANSLATE_NOOP("frmDemo", "P&ause/Resume"),
    QT_TRANSLATE_NOOP("frmDemo", "&Stop"),     QT_TRANSLATE_NOOP("frmDemo", "&Lock"),
    QT_TRANSLATE_NOOP("frmDemo", "&Unlock"),   QT_TRANSLATE_NOOP("frmDemo", "&Open"),
    QT_TRANSLATE_NOOP("frmDemo", "&Close"),    QT_TRANSLATE_NOOP("frmDemo", "&Extract"),
    QT_TRANSLATE_NOOP("frmDemo", "&Fade Out"), QT_TRANSLATE_NOOP("frmDemo", "&Drive Info >>"),
};

const char* const kButtonNames[10] = {
    QT_TRANSLATE_NOOP("frmDemo", "Play"),     QT_TRANSLATE_NOOP("frmDemo", "Pause/Resume"),
    QT_TRANSLATE_NOOP("frmDemo", "Stop"),     QT_TRANSLATE_NOOP("frmDemo", "Lock"),
    QT_TRANSLATE_NOOP("frmDemo", "Unlock"),   QT_TRANSLATE_NOOP("frmDemo", "Open"),
    QT_TRANSLATE_NOOP("frmDemo", "Close"),    QT_TRANSLATE_NOOP("frmDemo", "Extract"),
    QT_TRANSLATE_NOOP("frmDemo", "Fade Out"), QT_TRANSLATE_NOOP("frmDemo", "Drive Info"),
};

const char* const kFlagCaptions[15] = {
    QT_TRANSLATE_NOOP("frmDemo", "Drive can read CD-R media"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can read CD-RW media"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can read CD-R/RW media \"method 2\""),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can read DVD-ROM media"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can read DVD-R media"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can read DVD-RAM media"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can read in \"mode 2 form 1\" format"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can read in \"mode 2 form 2\" format"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can read multi-session discs"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can read CD audio"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive supports \"stream is accurate\""),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can be opened / closed"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive can be locked"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive is locked"),
    QT_TRANSLATE_NOOP("frmDemo", "Drive is open"),
};

// The window's texts, through the translation (the context is the window's name).
struct Text {
    Q_DECLARE_TR_FUNCTIONS(frmDemo)
};

const char* const kTagLabels[8] = {
    QT_TRANSLATE_NOOP("frmDemo", "Title"),       QT_TRANSLATE_NOOP("frmDemo", "Artist"),
    QT_TRANSLATE_NOOP("frmDemo", "Album Title"), QT_TRANSLATE_NOOP("frmDemo", "Description"),
    QT_TRANSLATE_NOOP("frmDemo", "Rating"),      QT_TRANSLATE_NOOP("frmDemo", "Copyright"),
    QT_TRANSLATE_NOOP("frmDemo", "Genre"),       QT_TRANSLATE_NOOP("frmDemo", "Year")};

// The accessible names of the controls that are not named by their own text.
void nameForAccess(const CdControls& c) {
    const std::pair<QWidget*, const char*> names[] = {
        {c.cmbCDDrives, QT_TRANSLATE_NOOP("frmDemo", "CD drive")},
        {c.cmdOpenImage, QT_TRANSLATE_NOOP("frmDemo", "Open a disc image")},
        {c.lstTracks, QT_TRANSLATE_NOOP("frmDemo", "Tracks")},
        {c.txtCDArtist, QT_TRANSLATE_NOOP("frmDemo", "Artist")},
        {c.txtCDAlbum, QT_TRANSLATE_NOOP("frmDemo", "Album")},
        {c.SliderVolume, QT_TRANSLATE_NOOP("frmDemo", "Volume")},
        {c.lblVolume, QT_TRANSLATE_NOOP("frmDemo", "Volume value")},
        {c.SliderBalance, QT_TRANSLATE_NOOP("frmDemo", "Balance")},
        {c.lblBalance, QT_TRANSLATE_NOOP("frmDemo", "Balance value")},
        {c.SliderPosition, QT_TRANSLATE_NOOP("frmDemo", "Track position")},
        {c.lblTrackPosition, QT_TRANSLATE_NOOP("frmDemo", "Track position and length")},
        {c.lblNoSound, QT_TRANSLATE_NOOP("frmDemo", "No sound device")},
        {c.optExtractMode[0], QT_TRANSLATE_NOOP("frmDemo", "WAV File")},
        {c.optExtractMode[1], QT_TRANSLATE_NOOP("frmDemo", "WMA File")},
        {c.picWMAExtractOptions, QT_TRANSLATE_NOOP("frmDemo", "WMA options")},
        {c.chkWMAFileTags, QT_TRANSLATE_NOOP("frmDemo", "WMA File Tags")},
        {c.cmbWMAEncodingBitrate, QT_TRANSLATE_NOOP("frmDemo", "WMA Encoding Bitrate")},
        {c.frameDriveInfo, QT_TRANSLATE_NOOP("frmDemo", "Drive information")},
        {c.lblMaxReadSpeed, QT_TRANSLATE_NOOP("frmDemo", "Maximum read speed")},
        {c.lblCacheSize, QT_TRANSLATE_NOOP("frmDemo", "Drive's cache size")},
        {c.picVUMeter[0], QT_TRANSLATE_NOOP("frmDemo", "Left level")},
        {c.picVUMeter[1], QT_TRANSLATE_NOOP("frmDemo", "Right level")},
    };
    for (const auto& [widget, name] : names) widget->setAccessibleName(Text::tr(name));
    for (size_t i = 0; i < c.cmdButton.size(); ++i)
        c.cmdButton[i]->setAccessibleName(Text::tr(kButtonNames[i]));
    for (size_t i = 0; i < c.txtWMATags.size(); ++i) {
        c.txtWMATags[i]->setAccessibleName(Text::tr("WMA tag %1").arg(Text::tr(kTagLabels[i])));
        c.lblWMATag[i]->setAccessibleName(
            Text::tr("WMA tag %1 label").arg(Text::tr(kTagLabels[i])));
    }
    for (size_t i = 0; i < c.chkRWFlags.size(); ++i)
        c.chkRWFlags[i]->setAccessibleName(Text::tr(kFlagCaptions[i]));
}

}  // namespace

int twipsToPixels(const QWidget* w, int twips) {
    return int(roundHalfEven(double(twips) * w->logicalDpiX() / 1440.0));
}

CdControls buildCdControls(QDialog* window) {
    CdControls c{};
    const double scale = double(window->logicalDpiX()) / kDesignDpi;
    auto place = [scale](QWidget* w, int x, int y, int width, int height) {
        w->setGeometry(int(x * scale), int(y * scale), int(width * scale), int(height * scale));
    };
    // `w` named `name` and placed: the one way every named control is made.
    auto placed = [&place](auto* w, const QString& name, int x, int y, int width, int height) {
        w->setObjectName(name);
        place(w, x, y, width, height);
        return w;
    };
    auto label = [&](QWidget* parent, const char* text, int x, int y, int w, int h) {
        auto* l = new QLabel(Text::tr(text), parent);
        place(l, x, y, w, h);
        return l;
    };

    label(window, QT_TRANSLATE_NOOP("frmDemo", "Select CD Drive : "), 8, 10, 105, 20);
    c.cmbCDDrives = placed(new QComboBox(window), "cmbCDDrives", 115, 8, 298, 24);
    c.cmdOpenImage =
        placed(new QPushButton(Text::tr("Image..."), window), "cmdOpenImage", 417, 7, 76, 26);
    c.cmdOpenImage->setAutoDefault(false);

    label(window, QT_TRANSLATE_NOOP("frmDemo", "Artist"), 8, 40, 40, 20);
    c.txtCDArtist = placed(new QLineEdit(window), "txtCDArtist", 50, 38, 190, 22);
    label(window, QT_TRANSLATE_NOOP("frmDemo", "Album"), 250, 40, 40, 20);
    c.txtCDAlbum = placed(new QLineEdit(window), "txtCDAlbum", 293, 38, 200, 22);

    label(window, QT_TRANSLATE_NOOP("frmDemo", "Click Track to Play"), 8, 66, 200, 18);
    c.lblNoSound = placed(new QLabel(Text::tr("No sound device: nothing is heard"), window),
                          "lblNoSound", 210, 66, 208, 18);
    c.lblNoSound->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    c.lblNoSound->setVisible(false);
    c.lstTracks = new QListWidget(window);
    c.lstTracks->setObjectName("lstTracks");
    c.lstTracks->setSelectionMode(QAbstractItemView::SingleSelection);
    c.trackDelegate = new TrackListDelegate(c.lstTracks);
    c.lstTracks->setItemDelegate(c.trackDelegate);
    c.lstTracks->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    place(c.lstTracks, 8, 86, 410, 210);

    for (int i = 0; i < 2; ++i) {
        c.picVUMeter[size_t(i)] =
            placed(new QWidget(window), QString("picVUMeter_%1").arg(i), 426 + 9 * i, 86, 6, 150);
    }
    c.SliderVolume = new QSlider(Qt::Vertical, window);
    c.SliderVolume->setObjectName("SliderVolume");
    c.SliderVolume->setRange(-100, 0);
    c.SliderVolume->setValue(0);
    c.SliderVolume->setInvertedAppearance(true);  // -100 at the top
    place(c.SliderVolume, 448, 86, 30, 150);
    c.lblVolume = placed(new QLabel(Text::tr("Volume"), window), "lblVolume", 422, 242, 78, 18);

    for (int i = 0; i < 10; ++i) {
        auto* b = new QPushButton(Text::tr(kButtonCaptions[i]), window);
        b->setObjectName(QString("cmdButton_%1").arg(i));
        b->setAutoDefault(false);
        c.cmdButton[size_t(i)] = b;
    }
    const int row1[] = {kPlay, kPauseResume, kStop, kFadeOut, kExtract};
    const int row2[] = {kLock, kUnlock, kOpen, kClose, kDriveInfo};
    for (int i = 0; i < 5; ++i) {
        place(c.cmdButton[size_t(row1[i])], 8 + 98 * i, 304, 92, 26);
        place(c.cmdButton[size_t(row2[i])], 8 + 98 * i, 334, 92, 26);
    }
    // Tab goes along the rows as they are seen, not in the buttons' numbering.
    QWidget* previous = c.cmdButton[size_t(row1[0])];
    for (const int* row : {row1, row2})
        for (int i = 0; i < 5; ++i) {
            if (row == row1 && i == 0) continue;
            QWidget::setTabOrder(previous, c.cmdButton[size_t(row[i])]);
            previous = c.cmdButton[size_t(row[i])];
        }

    label(window, QT_TRANSLATE_NOOP("frmDemo", "Balance"), 8, 372, 50, 20);
    c.SliderBalance = new QSlider(Qt::Horizontal, window);
    c.SliderBalance->setObjectName("SliderBalance");
    c.SliderBalance->setRange(-100, 100);
    c.SliderBalance->setValue(0);
    place(c.SliderBalance, 60, 370, 170, 24);
    c.lblBalance = placed(new QLabel(Text::tr("0"), window), "lblBalance", 235, 372, 40, 20);

    label(window, QT_TRANSLATE_NOOP("frmDemo", "Track Position"), 280, 366, 110, 16);
    c.SliderPosition =
        placed(new QSlider(Qt::Horizontal, window), "SliderPosition", 280, 382, 130, 22);
    c.lblTrackPosition = placed(new QLabel(window), "lblTrackPosition", 412, 384, 88, 18);
    {
        // An hour-long track's position ("01:00:00 / 01:14:02") fits: the slider gives up room.
        const QRect box = c.lblTrackPosition->geometry();
        const int needed =
            c.lblTrackPosition->fontMetrics().horizontalAdvance("00:00:00 / 00:00:00") + 4;
        const int extra = std::min(needed - box.width(), c.SliderPosition->width() / 2);
        if (extra > 0) {
            c.lblTrackPosition->setGeometry(box.x() - extra, box.y(), box.width() + extra,
                                            box.height());
            c.SliderPosition->resize(c.SliderPosition->width() - extra, c.SliderPosition->height());
        }
    }

    auto* extraction = new QGroupBox(Text::tr("CD Extraction"), window);
    place(extraction, 8, 410, 485, 182);
    const char* modes[2] = {QT_TRANSLATE_NOOP("frmDemo", "&WAV File"),
                            QT_TRANSLATE_NOOP("frmDemo", "W&MA File")};
    for (int i = 0; i < 2; ++i) {
        auto* o = new QRadioButton(Text::tr(modes[i]), extraction);
        o->setObjectName(QString("optExtractMode_%1").arg(i));
        place(o, 10 + 110 * i, 20, 100, 20);
        c.optExtractMode[size_t(i)] = o;
    }
    c.optExtractMode[0]->setChecked(true);
    c.picWMAExtractOptions =
        placed(new QWidget(extraction), "picWMAExtractOptions", 8, 44, 469, 132);
    c.chkWMAFileTags = new QCheckBox(Text::tr("WMA File Tags"), c.picWMAExtractOptions);
    c.chkWMAFileTags->setObjectName("chkWMAFileTags");
    c.chkWMAFileTags->setChecked(true);
    place(c.chkWMAFileTags, 0, 0, 140, 20);
    label(c.picWMAExtractOptions, QT_TRANSLATE_NOOP("frmDemo", "WMA Encoding Bitrate"), 150, 2, 140,
          18);
    c.cmbWMAEncodingBitrate =
        placed(new QComboBox(c.picWMAExtractOptions), "cmbWMAEncodingBitrate", 295, 0, 170, 22);
    for (int i = 0; i < 8; ++i) {
        const int x = (i % 2) * 236, y = 28 + (i / 2) * 25;
        auto* l = label(c.picWMAExtractOptions, kTagLabels[i], x, y + 2, 75, 20);
        l->setObjectName(QString("lblWMATag_%1").arg(i));
        c.lblWMATag[size_t(i)] = l;
        auto* t = new QLineEdit(QString::fromUtf8(kTagLabels[i]), c.picWMAExtractOptions);
        t->setObjectName(QString("txtWMATags_%1").arg(i));
        place(t, x + 78, y, 150, 22);
        c.txtWMATags[size_t(i)] = t;
    }
    c.picWMAExtractOptions->setEnabled(false);

    c.ripPanel = new RipPanel(window);
    place(c.ripPanel, 8, 598, 485, 146);

    c.frameDriveInfo = new QGroupBox(Text::tr("Drive Info"), window);
    c.frameDriveInfo->setObjectName("frameDriveInfo");
    // 7560 twips from the left, 3705 wide: hidden by the narrow window, whole in the wide one.
    c.frameDriveInfo->setGeometry(twipsToPixels(window, 7560), int(8 * scale),
                                  twipsToPixels(window, 3705), int(584 * scale));
    auto* flags = new QWidget(c.frameDriveInfo);
    QFont small = flags->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);  // the long captions fit the panel
    flags->setFont(small);
    place(flags, 6, 20, 235, 370);
    flags->setEnabled(false);  // display only
    for (int i = 0; i < 15; ++i) {
        auto* box = new QCheckBox(Text::tr(kFlagCaptions[i]), flags);
        box->setObjectName(QString("chkRWFlags_%1").arg(i));
        box->setTristate(i == 13);
        place(box, 0, i * 24, 235, 22);
        c.chkRWFlags[size_t(i)] = box;
    }
    label(c.frameDriveInfo, QT_TRANSLATE_NOOP("frmDemo", "Maximum read speed"), 6, 400, 130, 18);
    c.lblMaxReadSpeed = placed(new QLabel(c.frameDriveInfo), "lblMaxReadSpeed", 140, 400, 100, 18);
    label(c.frameDriveInfo, QT_TRANSLATE_NOOP("frmDemo", "Drive's cache size"), 6, 424, 130, 18);
    c.lblCacheSize = placed(new QLabel(c.frameDriveInfo), "lblCacheSize", 140, 424, 100, 18);

    c.tmrPlaybackPosition = new QTimer(window);
    c.tmrPlaybackPosition->setObjectName("tmrPlaybackPosition");
    c.tmrPlaybackPosition->setInterval(50);

    window->setFixedHeight(int((kDesignHeight + kRipPanelHeight) * scale));
    nameForAccess(c);
    return c;
}

}  // namespace cd
