#!/bin/sh
# Makes a primed cache folder of three 1024 x 1024 clips (144 frames at 18 fps, a glowing disc each in its
# own colour) with a manifest, for screenshots and the wall benchmark; the same at 2048 x 2048 when asked
# (sharper clips). Usage: make-cache.sh <folder> [1024|2048]
set -eu
dir="$1"
size=${2:-1024}
mkdir -p "$dir"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -loglevel error -y -f lavfi -i "color=c=black:s=1024x1024:d=1" -frames:v 1 \
  -vf "format=gray,geq=lum='255*max(0\,min(1\,(420-hypot(X-512\,Y-512))/12))*(0.75+0.25*sin(X/37)*cos(Y/29))'" \
  "$tmp/disc.png"
make_clip() { # id red green blue
  ffmpeg -loglevel error -y -loop 1 -framerate 18 -i "$tmp/disc.png" -t 8 \
    -vf "format=rgb24,colorchannelmixer=rr=$2:gg=$3:bb=$4:rg=0:rb=0:gr=0:gb=0:br=0:bg=0,hue=b='0.6*sin(2*PI*t/8)',scale=$size:$size,format=yuv420p" \
    -c:v libx264 -preset veryfast -g 18 "$dir/$1.mp4"
}
make_clip 171 1.0 0.85 0.2
make_clip 193 0.75 0.55 0.3
make_clip 304 1.0 0.3 0.15
now=$(date -u +%Y-%m-%dT%H:00:00Z)
cat > "$dir/manifest.json" <<JSON
[
  {"id": "171", "label": "AIA 171 Å", "video": "171.mp4", "updated": "$now", "frame_count": 144},
  {"id": "193", "label": "AIA 193 Å", "video": "193.mp4", "updated": "$now", "frame_count": 144},
  {"id": "304", "label": "AIA 304 Å", "video": "304.mp4", "updated": "$now", "frame_count": 144}
]
JSON
