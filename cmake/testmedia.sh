#!/usr/bin/env bash
# Writes the short clip the player tests, the benchmark and the sample site play, in two forms:
#   <out>/hls/master.m3u8 with two variants (640x360 and 1280x720; H.264/AAC in MPEG-TS),
#   <out>/dash/manifest.mpd (VP9/Opus in WebM, which the web engine decodes without the
#   proprietary codecs Debian's build leaves out).
# 20 seconds in 2-second segments with a 440 Hz tone: long enough for a resume at 4 s or more
# and for a report step at 15 s, small enough to build in a few seconds.
# Usage: testmedia.sh <out-dir>
set -euo pipefail
out="$1"
seconds=20
tmp="$out.tmp"
rm -rf "$tmp"
mkdir -p "$tmp/hls" "$tmp/dash"
ff=(ffmpeg -nostdin -hide_banner -loglevel error -y)

(cd "$tmp/hls" && "${ff[@]}" \
  -f lavfi -i "testsrc2=size=1280x720:rate=15:duration=$seconds" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$seconds" \
  -filter_complex "[0:v]split=2[a][b];[a]scale=640:360[v0];[b]null[v1]" \
  -map "[v0]" -map "[v1]" -map 1:a -map 1:a \
  -c:v libx264 -preset ultrafast -g 30 -keyint_min 30 -sc_threshold 0 -pix_fmt yuv420p \
  -b:v:0 200k -b:v:1 500k -c:a aac -b:a 64k -ac 1 \
  -f hls -hls_time 2 -hls_playlist_type vod -hls_segment_filename 'v%v/seg%d.ts' \
  -master_pl_name master.m3u8 -var_stream_map "v:0,a:0 v:1,a:1" 'v%v/index.m3u8')

(cd "$tmp/dash" && "${ff[@]}" \
  -f lavfi -i "testsrc2=size=640x360:rate=15:duration=$seconds" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" \
  -map 0:v -map 1:a -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -row-mt 1 -b:v 200k -g 30 -keyint_min 30 \
  -c:a libopus -b:a 48k -ac 1 \
  -f dash -seg_duration 2 -use_template 1 -use_timeline 0 -dash_segment_type webm \
  -adaptation_sets "id=0,streams=v id=1,streams=a" \
  -init_seg_name 'init-$RepresentationID$.webm' -media_seg_name 'seg-$RepresentationID$-$Number$.webm' manifest.mpd)

rm -rf "$out"
mv "$tmp" "$out"
