// Reading back the WMA files the tests make, through FFmpeg: format, tags and decoded audio.
#pragma once

#include <strings.h>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace wmaprobe {

struct Info {
    bool opened = false;
    std::string codec;
    int rate = 0;
    int channels = 0;
    int64_t bitRate = 0;
    int64_t decodedFrames = 0;
    std::map<std::string, std::string> tags;  // as the file's reader names them
    std::vector<float> left;                  // decoded left channel
    double seconds() const { return rate ? double(decodedFrames) / rate : 0.0; }
};

inline Info probe(const std::string& path) {
    Info info;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return info;
    avformat_find_stream_info(fmt, nullptr);
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(fmt->metadata, "", e, AV_DICT_IGNORE_SUFFIX)))
        info.tags[e->key] = e->value;
    int si = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (si < 0) {
        avformat_close_input(&fmt);
        return info;
    }
    AVCodecParameters* par = fmt->streams[si]->codecpar;
    const AVCodec* dec = avcodec_find_decoder(par->codec_id);
    info.codec = dec ? dec->name : "";
    info.rate = par->sample_rate;
    info.channels = par->ch_layout.nb_channels;
    info.bitRate = par->bit_rate;
    AVCodecContext* c = avcodec_alloc_context3(dec);
    avcodec_parameters_to_context(c, par);
    if (dec && avcodec_open2(c, dec, nullptr) >= 0) {
        info.opened = true;
        AVPacket* pkt = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        auto drain = [&] {
            while (avcodec_receive_frame(c, frame) >= 0) {
                info.decodedFrames += frame->nb_samples;
                if (c->sample_fmt == AV_SAMPLE_FMT_FLTP) {
                    auto* l = reinterpret_cast<const float*>(frame->data[0]);
                    info.left.insert(info.left.end(), l, l + frame->nb_samples);
                }
            }
        };
        while (av_read_frame(fmt, pkt) >= 0) {
            if (pkt->stream_index == si && avcodec_send_packet(c, pkt) >= 0) drain();
            av_packet_unref(pkt);
        }
        avcodec_send_packet(c, nullptr);
        drain();
        av_frame_free(&frame);
        av_packet_free(&pkt);
    }
    avcodec_free_context(&c);
    avformat_close_input(&fmt);
    return info;
}

// A tag by the name it is stored under, without regard to case; "" when absent. FFmpeg's reader
// hands four of the names over under its own words.
inline std::string tag(const Info& info, const std::string& name) {
    static const std::map<std::string, std::string> kReaderNames = {{"Author", "artist"},
                                                                    {"WM/AlbumTitle", "album"},
                                                                    {"Description", "comment"},
                                                                    {"WM/Genre", "genre"}};
    auto alias = kReaderNames.find(name);
    for (const auto& [k, v] : info.tags)
        if (strcasecmp(k.c_str(), name.c_str()) == 0 ||
            (alias != kReaderNames.end() && strcasecmp(k.c_str(), alias->second.c_str()) == 0))
            return v;
    return "";
}

// Whether the file holds `name` as a UTF-16 tag name (how ASF stores names).
inline bool storesName(const std::string& path, const std::string& name) {
    std::string wide;
    for (char c : name) {
        wide += c;
        wide += '\0';
    }
    wide += std::string(2, '\0');
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string bytes;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
    std::fclose(f);
    return bytes.find(wide) != std::string::npos;
}

}  // namespace wmaprobe
