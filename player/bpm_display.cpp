#include "player/bpm_display.h"

#include <QCoreApplication>
#include <QLocale>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace player {

namespace {

// The window's texts, through the translation (the context is the window's name).
struct Text {
    Q_DECLARE_TR_FUNCTIONS(frmWriteWave)
};

}  // namespace

double leadingNumber(const std::string& text) {
    std::string s;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s += c;
    size_t i = 0;
    if (s.size() >= 2 && s[0] == '&') {
        const char kind = char(std::toupper(static_cast<unsigned char>(s[1])));
        const int base = kind == 'H' ? 16 : kind == 'O' ? 8 : 0;
        if (base == 0) return 0;
        double v = 0;
        for (i = 2; i < s.size(); ++i) {
            const char c = char(std::toupper(static_cast<unsigned char>(s[i])));
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            if (d < 0 || d >= base) break;
            v = v * base + d;
        }
        return v;
    }
    std::string num;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) num += s[i++];
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(s[i]))) {
            num += s[i];
            digits = true;
        } else if (s[i] == '.' && !point) {
            num += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    // An exponent counts only when digits follow it.
    if (i < s.size() && std::strchr("eEdD", s[i])) {
        size_t j = i + 1;
        std::string exp = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp += s[j++];
        const size_t first = j;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) exp += s[j++];
        if (j > first) num += exp;
    }
    // The same in every locale (strtod would take the user's decimal comma).
    double v = 0;
    const char* first = num.c_str() + (num[0] == '+');
    std::from_chars(first, num.c_str() + num.size(), v);
    return v;
}

QString twoDecimals(double value) {
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', 2);
}

QString keyText(bool estimating, const std::optional<analysis::key::KeyEstimate>& key,
                double semitones) {
    if (estimating) return Text::tr("Key: …");
    if (!key) return Text::tr("Key: unknown");
    QString text = Text::tr("Key: ") + QString::fromStdString(analysis::key::keyName(*key));
    // Whole cents: the cents control's steps (a reference's shift is shown to the cent).
    const long cents = std::lround(semitones * 100.0);
    if (cents == 0) return text;
    const auto signedNumber = [](long v) {
        return v > 0 ? "+" + QString::number(v) : "−" + QString::number(-v);
    };
    const long whole = cents / 100, rest = cents % 100;
    QString shift = whole != 0 ? signedNumber(whole) : QString();
    if (rest != 0) shift += (shift.isEmpty() ? "" : " ") + signedNumber(rest) + Text::tr(" cents");
    const int heard = static_cast<int>(std::lround(double(cents) / 100.0));
    return text + " → " +
           QString::fromStdString(analysis::key::keyName(analysis::key::transposed(*key, heard))) +
           " (" + shift + ")";
}

QString chordText(bool estimating, const std::vector<analysis::chords::ChordSpan>& chords,
                  double seconds, double semitones,
                  const std::optional<analysis::key::KeyEstimate>& key) {
    if (estimating) return Text::tr("Chord: …");
    const analysis::chords::ChordSpan* c =
        seconds >= 0 ? analysis::chords::chordAt(chords, seconds) : nullptr;
    if (!c) return Text::tr("Chord:");
    QString text = Text::tr("Chord: ") + QString::fromStdString(analysis::chords::chordName(
                                             *c, analysis::chords::spellingOf(key, 0)));
    const int heard = static_cast<int>(std::lround(semitones));
    if (heard % 12 == 0 || c->root < 0) return text;
    return text + " → " +
           QString::fromStdString(analysis::chords::chordName(
               analysis::chords::transposed(*c, heard), analysis::chords::spellingOf(key, heard)));
}

bool BeatRun::accept(double seconds) {
    if (!std::isfinite(seconds)) return false;
    // A beat in the loop after a later one in it: the loop went round.
    const bool wrapped = loopA_ < loopB_ && seconds >= loopA_ && seconds < last_ &&
                         last_ >= loopA_ && last_ <= loopB_;
    if (seconds < last_ && !wrapped) return false;
    last_ = seconds;
    return true;
}

double TapTempo::tap(double seconds) {
    if (!std::isfinite(seconds)) return 0.0;
    if (!times_.empty()) {
        const double since = seconds - times_.back();
        if (since >= 0.0 && since < kTapBounce) return 0.0;
        if (since < 0.0 || since > kTapPause) times_.clear();
    }
    times_.push_back(seconds);
    constexpr size_t kKept = 9;  // eight intervals
    if (times_.size() > kKept) times_.erase(times_.begin());
    if (times_.size() < 4) return 0.0;
    std::vector<double> intervals;
    for (size_t i = 1; i < times_.size(); ++i) intervals.push_back(times_[i] - times_[i - 1]);
    const auto mid = intervals.begin() + std::ptrdiff_t(intervals.size() / 2);
    std::nth_element(intervals.begin(), mid, intervals.end());
    double median = *mid;
    if (intervals.size() % 2 == 0)
        median = (median + *std::max_element(intervals.begin(), mid)) / 2;
    return 60.0 / median;
}

int octaveToward(double bpm, double tapped) {
    if (!(bpm > 0.0) || !(tapped > 0.0) || !std::isfinite(bpm) || !std::isfinite(tapped)) return 0;
    return static_cast<int>(std::clamp(std::lround(std::log2(tapped / bpm)), -2L, 2L));
}

}  // namespace player
