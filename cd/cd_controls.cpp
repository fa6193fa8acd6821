#include "cd/cd_controls.h"

#include <QCheckBox>
#include <QComboBox>
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
    "&Play", "P&ause/Resume", "&Stop",    "&Lock",     "&Unlock",
    "&Open", "&Close",        "&Extract", "&Fade Out", "&Drive Info >>",
};

const char* const kButtonNames[10] = {
    "Play", "Pause/Resume", "Stop",    "Lock",     "Unlock",
    "Open", "Close",        "Extract", "Fade Out", "Drive Info",
};

const char* const kFlagCaptions[15] = {
    "Drive can read CD-R media",
    "Drive can read CD-RW media",
    "Drive can read CD-R/RW media \"method 2\"",
    "Drive can read DVD-ROM media",
    "Drive can read DVD-R media",
    "Drive can read DVD-RAM media",
    "Drive can read in \"mode 2 form 1\" format",
    "Drive can read in \"mode 2 form 2\" format",
    "Drive can read multi-session discs",
    "Drive can read CD audio",
    "Drive supports \"stream is accurate\"",
    "Drive can be opened / closed",
    "Drive can be locked",
    "Drive is locked",
    "Drive is open",
};

const char* const kTagLabels[8] = {"Title",  "Artist",    "Album Title", "Description",
                                   "Rating", "Copyright", "Genre",       "Year"};

// The accessible names of the controls that are not named by their own text.
void nameForAccess(const CdControls& c) {
    const std::pair<QWidget*, const char*> names[] = {
        {c.cmbCDDrives, "CD drive"},
        {c.lstTracks, "Tracks"},
        {c.txtCDArtist, "Artist"},
        {c.txtCDAlbum, "Album"},
        {c.SliderVolume, "Volume"},
        {c.lblVolume, "Volume value"},
        {c.SliderBalance, "Balance"},
        {c.lblBalance, "Balance value"},
        {c.SliderPosition, "Track position"},
        {c.lblTrackPosition, "Track position and length"},
        {c.optExtractMode[0], "WAV File"},
        {c.optExtractMode[1], "WMA File"},
        {c.picWMAExtractOptions, "WMA options"},
        {c.chkWMAFileTags, "WMA File Tags"},
        {c.cmbWMAEncodingBitrate, "WMA Encoding Bitrate"},
        {c.frameDriveInfo, "Drive information"},
        {c.lblMaxReadSpeed, "Maximum read speed"},
        {c.lblCacheSize, "Drive's cache size"},
        {c.picVUMeter[0], "Left level"},
        {c.picVUMeter[1], "Right level"},
    };
    for (const auto& [widget, name] : names) widget->setAccessibleName(name);
    for (size_t i = 0; i < c.cmdButton.size(); ++i)
        c.cmdButton[i]->setAccessibleName(kButtonNames[i]);
    for (size_t i = 0; i < c.txtWMATags.size(); ++i) {
        c.txtWMATags[i]->setAccessibleName(QString("WMA tag ") + kTagLabels[i]);
        c.lblWMATag[i]->setAccessibleName(QString("WMA tag ") + kTagLabels[i] + " label");
    }
    for (size_t i = 0; i < c.chkRWFlags.size(); ++i)
        c.chkRWFlags[i]->setAccessibleName(QString::fromUtf8(kFlagCaptions[i]));
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
        auto* l = new QLabel(QString::fromUtf8(text), parent);
        place(l, x, y, w, h);
        return l;
    };

    label(window, "Select CD Drive : ", 8, 10, 105, 20);
    c.cmbCDDrives = placed(new QComboBox(window), "cmbCDDrives", 115, 8, 378, 24);

    label(window, "Artist", 8, 40, 40, 20);
    c.txtCDArtist = placed(new QLineEdit(window), "txtCDArtist", 50, 38, 190, 22);
    label(window, "Album", 250, 40, 40, 20);
    c.txtCDAlbum = placed(new QLineEdit(window), "txtCDAlbum", 293, 38, 200, 22);

    label(window, "Click Track to Play", 8, 66, 200, 18);
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
    c.lblVolume = placed(new QLabel("Volume", window), "lblVolume", 422, 242, 78, 18);

    for (int i = 0; i < 10; ++i) {
        auto* b = new QPushButton(QString::fromUtf8(kButtonCaptions[i]), window);
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

    label(window, "Balance", 8, 372, 50, 20);
    c.SliderBalance = new QSlider(Qt::Horizontal, window);
    c.SliderBalance->setObjectName("SliderBalance");
    c.SliderBalance->setRange(-100, 100);
    c.SliderBalance->setValue(0);
    place(c.SliderBalance, 60, 370, 170, 24);
    c.lblBalance = placed(new QLabel("0", window), "lblBalance", 235, 372, 40, 20);

    label(window, "Track Position", 280, 366, 110, 16);
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

    auto* extraction = new QGroupBox("CD Extraction", window);
    place(extraction, 8, 410, 485, 182);
    const char* modes[2] = {"&WAV File", "W&MA File"};
    for (int i = 0; i < 2; ++i) {
        auto* o = new QRadioButton(modes[i], extraction);
        o->setObjectName(QString("optExtractMode_%1").arg(i));
        place(o, 10 + 110 * i, 20, 100, 20);
        c.optExtractMode[size_t(i)] = o;
    }
    c.optExtractMode[0]->setChecked(true);
    c.picWMAExtractOptions =
        placed(new QWidget(extraction), "picWMAExtractOptions", 8, 44, 469, 132);
    c.chkWMAFileTags = new QCheckBox("WMA File Tags", c.picWMAExtractOptions);
    c.chkWMAFileTags->setObjectName("chkWMAFileTags");
    c.chkWMAFileTags->setChecked(true);
    place(c.chkWMAFileTags, 0, 0, 140, 20);
    label(c.picWMAExtractOptions, "WMA Encoding Bitrate", 150, 2, 140, 18);
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

    c.frameDriveInfo = new QGroupBox("Drive Info", window);
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
        auto* box = new QCheckBox(QString::fromUtf8(kFlagCaptions[i]), flags);
        box->setObjectName(QString("chkRWFlags_%1").arg(i));
        box->setTristate(i == 13);
        place(box, 0, i * 24, 235, 22);
        c.chkRWFlags[size_t(i)] = box;
    }
    label(c.frameDriveInfo, "Maximum read speed", 6, 400, 130, 18);
    c.lblMaxReadSpeed = placed(new QLabel(c.frameDriveInfo), "lblMaxReadSpeed", 140, 400, 100, 18);
    label(c.frameDriveInfo, "Drive's cache size", 6, 424, 130, 18);
    c.lblCacheSize = placed(new QLabel(c.frameDriveInfo), "lblCacheSize", 140, 424, 100, 18);

    c.tmrPlaybackPosition = new QTimer(window);
    c.tmrPlaybackPosition->setObjectName("tmrPlaybackPosition");
    c.tmrPlaybackPosition->setInterval(50);

    window->setFixedHeight(int((kDesignHeight + kRipPanelHeight) * scale));
    nameForAccess(c);
    return c;
}

}  // namespace cd
