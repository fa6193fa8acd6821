// The rip log's text and the summary of what went wrong.
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "rip/rip_disc.h"

namespace fs = std::filesystem;

namespace cd {

namespace {

constexpr const char* kProgram = "Quorvin Audio Tools 1.0";

std::string percentText(uint32_t peak) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f %%", double(peak) * 100.0 / 32768.0);
    return buf;
}

std::string statusText(const TrackRip& t) {
    switch (t.status) {
        case TrackRip::Status::Ripped:
            switch (t.problem()) {
                case TrackRip::Problem::SkippedReads:
                    return "SKIPPED READS: copied, but not an exact copy of the disc";
                case TrackRip::Problem::CutShort:
                    return "CUT SHORT: the image is shorter than its cue sheet; the last " +
                           std::to_string(t.missingBytes) + " bytes of the track are missing";
                case TrackRip::Problem::TestMismatch:
                    return "TEST AND COPY MISMATCH: the two reads differ; not an exact copy";
                case TrackRip::Problem::None:
                    break;
            }
            return "OK";
        case TrackRip::Status::DataTrack:
            return "data track, skipped";
        case TrackRip::Status::ReadFailed:
            return "READ FAILED: " + t.message + "; no file";
        case TrackRip::Status::WriteFailed:
            return "WRITE FAILED: " + t.message + "; no file";
        case TrackRip::Status::Stopped:
            return "stopped: " + t.message + "; no file";
        case TrackRip::Status::NotReached:
            return "not ripped (the rip ended before this track)";
    }
    return "";
}

std::string upperHex8(uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

std::string trackList(const std::vector<int>& numbers) {
    std::string s = numbers.size() == 1 ? "track " : "tracks ";
    for (size_t i = 0; i < numbers.size(); ++i) s += (i ? ", " : "") + std::to_string(numbers[i]);
    return s;
}

}  // namespace

std::string ripFaultSummary(const DiscRip& rip) {
    std::vector<int> reads, cut, writes, notRipped, mismatched;
    for (const TrackRip& t : rip.tracks) {
        switch (t.status) {
            case TrackRip::Status::DataTrack:
                break;
            case TrackRip::Status::Ripped:
                if (t.report.skipped > 0 || t.report.readErrors > 0) reads.push_back(t.number);
                if (t.missingBytes > 0) cut.push_back(t.number);
                if (t.testMismatch()) mismatched.push_back(t.number);
                break;
            case TrackRip::Status::ReadFailed:
                reads.push_back(t.number);
                break;
            case TrackRip::Status::WriteFailed:
                writes.push_back(t.number);
                break;
            case TrackRip::Status::Stopped:
            case TrackRip::Status::NotReached:
                notRipped.push_back(t.number);
                break;
        }
    }
    std::string s;
    auto say = [&](const std::string& sentence) { s += (s.empty() ? "" : " ") + sentence; };
    if (!reads.empty())
        say("NOT every track was read without skips or read errors; see " + trackList(reads) + ".");
    if (!mismatched.empty())
        say("The test read and the copy differ: " + trackList(mismatched) +
            (mismatched.size() == 1 ? " is" : " are") + " NOT an exact copy.");
    if (!cut.empty())
        say("The image is shorter than its cue sheet: " + trackList(cut) + " is cut short.");
    if (!writes.empty())
        say("NOT every file could be written (the fault is in the folder, not the CD); see " +
            trackList(writes) + ".");
    if (!notRipped.empty()) say("NOT every track was ripped; see " + trackList(notRipped) + ".");
    return s;
}

std::string ripLogText(const DiscRip& rip, const std::string& when) {
    std::ostringstream o;
    o << kProgram << " rip log\n\n"
      << "Date: " << when << "\n"
      << "Drive: " << rip.driveName << "\n"
      << "Read offset: " << (rip.readOffset > 0 ? "+" : "") << rip.readOffset << " samples\n"
      << "Paranoia mode: " << rip.paranoiaMode << "\n"
      << "Format: " << ripFormatName(rip.format) << "\n\n"
      << "Artist: " << rip.artist << "\n"
      << "Album: " << rip.album << "\n"
      << "Tracks: " << rip.ids.tracks << "\n"
      << "freedb disc ID: " << hex8(rip.ids.freedb) << "\n"
      << "AccurateRip disc ID: " << hex8(rip.ids.accurateRip1) << "-" << hex8(rip.ids.accurateRip2)
      << "-" << hex8(rip.ids.freedb) << "\n"
      << "AccurateRip database: " << accurateRipUrl(rip.ids) << "\n"
      << "MusicBrainz disc ID: " << rip.musicBrainzId << "\n"
      << "MusicBrainz lookup: " << rip.musicBrainzUrl << "\n";
    if (!rip.albumArtist.empty()) o << "Album artist: " << rip.albumArtist << "\n";
    if (!rip.accurateRipDbName.empty())
        o << "AccurateRip database file: " << rip.accurateRipDbName << "\n";
    if (rip.testAndCopy) o << "Test and copy: every track read twice\n";
    for (const TrackRip& t : rip.tracks) {
        o << "\nTrack " << (t.number < 10 ? "0" : "") << t.number
          << (t.number == 0 ? " (hidden track before track 1)" : "") << "\n";
        if (t.status == TrackRip::Status::DataTrack || t.status == TrackRip::Status::NotReached) {
            o << "  Status: " << statusText(t) << "\n";
            continue;
        }
        o << "  File: " << (t.path.empty() ? "(none)" : fs::path(t.path).filename().string())
          << "\n"
          << "  Title: " << t.title << "\n";
        if (t.preEmphasis) o << "  Pre-emphasis: yes (tagged PRE_EMPHASIS=1)\n";
        if (!t.isrc.empty()) o << "  ISRC: " << t.isrc << "\n";
        // The peak and checksums of a track read to its end only: those of what a stop or a
        // read failure left would pass for a result.
        if (t.status == TrackRip::Status::Stopped || t.status == TrackRip::Status::ReadFailed) {
            o << "  Sectors read: " << t.report.sectorsRead << "\n"
              << "  Status: " << statusText(t) << "\n";
            continue;
        }
        o << "  Peak level: " << percentText(t.peak) << "\n";
        if (t.tested) {
            o << "  Test CRC32: " << upperHex8(t.testCrc32) << "\n"
              << "  Copy CRC32: " << upperHex8(t.crc32) << "\n"
              << "  Test and copy: "
              << (t.status != TrackRip::Status::Ripped ? "(no copy)"
                  : t.testMismatch()                   ? "MISMATCH"
                                                       : "match")
              << "\n";
        } else {
            o << "  CRC32: " << upperHex8(t.crc32) << "\n";
        }
        if (t.number != 0)
            o << "  AccurateRip v1: " << upperHex8(t.accurateRipV1) << "\n"
              << "  AccurateRip v2: " << upperHex8(t.accurateRipV2) << "\n";
        if (t.accurateRip.kind != AccurateRipVerdict::Kind::NotChecked)
            o << "  AccurateRip: " << verdictText(t.accurateRip) << "\n";
        o << "  Sectors read: " << t.report.sectorsRead << "\n"
          << "  Reads corrected: " << t.report.corrected << "\n"
          << "  Reads skipped: " << t.report.skipped << "\n"
          << "  Re-reads: " << t.report.reReads << "\n"
          << "  Read errors: " << t.report.readErrors << "\n"
          << "  Status: " << statusText(t) << "\n";
    }
    o << "\n";
    if (rip.status == DiscRip::Status::Stopped) o << "The rip was stopped before its end. ";
    const std::string faults = ripFaultSummary(rip);
    if (!faults.empty())
        o << faults << "\n";
    else if (rip.allClean())
        o << "Every audio track was read without skips or read errors.\n";
    else
        o << "NOT every track was ripped.\n";
    if (!rip.accurateRipDbName.empty()) {
        int accurate = 0, audio = 0;
        for (const TrackRip& t : rip.tracks) {
            if (t.status == TrackRip::Status::DataTrack || t.number == 0) continue;
            ++audio;
            if (t.accurateRip.kind == AccurateRipVerdict::Kind::Accurate) ++accurate;
        }
        o << (rip.allAccurate() ? "Every track is accurate in AccurateRip"
                                : "NOT every track is accurate in AccurateRip")
          << " (" << accurate << " of " << audio << ").\n";
    }
    return o.str();
}

}  // namespace cd
