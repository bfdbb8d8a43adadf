#!/usr/bin/env bash
# Writes the streams the frame benchmark plays: one HLS stream (H.264/AAC in MPEG-TS, one variant
# under its own master playlist) for each of 720p30, 1080p30 and 1080p60, as
#   <out>/<name>/master.m3u8
# 20 seconds in 2-second segments. For the quality-change benchmark, one more under
#   <out>/switch/master.m3u8
# with three variants of one picture (360p, 720p and 1080p at 30 frames a second, 0.6, 1.5 and
# 3 Mbit/s), 60 seconds with their segments cut at the same frames. The top sixth of every
# picture is its frame number as a bar code, read back from the screen: sixteen blocks across,
# least significant bit on the left, white for 1, with the complement in a second row beneath,
# so a reading taken while the picture was changing is told apart from a real one. Blocks are
# black and white only (chroma subsampling cannot blur them) and a sixteenth of the width by a
# twelfth of the height, still over 20 pixels in a 400x225 picture-in-picture window.
# Usage: benchmedia.sh <out-dir>
set -euo pipefail
out="$1"
seconds=20
tmp="$out.tmp"
rm -rf "$tmp"
mkdir -p "$tmp"
ff=(ffmpeg -nostdin -hide_banner -loglevel error -y)

stream() {
  local name=$1 width=$2 height=$3 rate=$4 bitrate=$5
  local band=$((height / 12))
  mkdir -p "$tmp/$name"
  (cd "$tmp/$name" && "${ff[@]}" \
    -f lavfi -i "testsrc2=size=${width}x${height}:rate=$rate:duration=$seconds" \
    -f lavfi -i "color=c=black:size=16x2:rate=$rate:duration=$seconds,format=gray,geq=lum='255*abs(Y-mod(floor(N/pow(2\,X))\,2))',scale=$width:$((2 * band)):flags=neighbor" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$seconds" \
    -filter_complex "[0:v][1:v]overlay=0:0:shortest=1,format=yuv420p[v]" \
    -map "[v]" -map 2:a \
    -c:v libx264 -preset ultrafast -g $((2 * rate)) -keyint_min $((2 * rate)) -sc_threshold 0 \
    -b:v "$bitrate" -maxrate "$bitrate" -bufsize "$bitrate" -c:a aac -b:a 64k -ac 1 \
    -f hls -hls_time 2 -hls_playlist_type vod -hls_segment_filename 'v0/seg%d.ts' \
    -master_pl_name master.m3u8 -var_stream_map "v:0,a:0" 'v%v/index.m3u8')
}

# The code is drawn once on the 1080p picture and scaled down with it: a sixteenth by a twelfth
# divides 1280x720 and 640x360 exactly, so the blocks stay whole. The variants must number their
# frames alike for a change between them to show as a gap in the numbers or none. Long enough
# that gst-play-1.0, which loads 30 s ahead, still has segments to fetch after the line slows.
switch_seconds=60
ladder() {
  local band=$((1080 / 12))
  mkdir -p "$tmp/switch"
  (cd "$tmp/switch" && "${ff[@]}" \
    -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=$switch_seconds" \
    -f lavfi -i "color=c=black:size=16x2:rate=30:duration=$switch_seconds,format=gray,geq=lum='255*abs(Y-mod(floor(N/pow(2\,X))\,2))',scale=1920:$((2 * band)):flags=neighbor" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$switch_seconds" \
    -filter_complex "[0:v][1:v]overlay=0:0:shortest=1,format=yuv420p,split=3[a][b][v2];[a]scale=640:360[v0];[b]scale=1280:720[v1]" \
    -map "[v0]" -map "[v1]" -map "[v2]" -map 2:a -map 2:a -map 2:a \
    -c:v libx264 -preset ultrafast -g 60 -keyint_min 60 -sc_threshold 0 \
    -b:v:0 600k -maxrate:v:0 600k -bufsize:v:0 600k -b:v:1 1500k -maxrate:v:1 1500k -bufsize:v:1 1500k \
    -b:v:2 3M -maxrate:v:2 3M -bufsize:v:2 3M -c:a aac -b:a 64k -ac 1 \
    -f hls -hls_time 2 -hls_playlist_type vod -hls_segment_filename 'v%v/seg%d.ts' \
    -master_pl_name master.m3u8 -var_stream_map "v:0,a:0 v:1,a:1 v:2,a:2" 'v%v/index.m3u8')
}

# Side by side: each is mostly one thread of filters.
stream 720p30 1280 720 30 3M &
stream 1080p30 1920 1080 30 5M &
stream 1080p60 1920 1080 60 8M &
ladder &
status=0
for job in $(jobs -p); do
  wait "$job" || status=1
done
[ "$status" -eq 0 ]

rm -rf "$out"
mv "$tmp" "$out"
