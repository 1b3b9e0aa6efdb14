#!/bin/sh
# Writes the bundled sample (examples/a9-edinburgh-inverness.csv) as GPSBabel writes it in the
# route-file kinds Wayloom reads: GPX 1.0 and 1.1 waypoints, route and timed track (a point a
# minute from 2026-01-01 08:00 UTC), KML waypoints, KML track as a line and as a gx:Track, and
# GeoJSON points and line. Each must give the sample's own tracks (tests/sources_test.cpp). Run
# again only to change them: GPSBabel stamps each file with the time it was written.
set -eu
cd "$(dirname "$0")"
sample=../../../examples/a9-edinburgh-inverness.csv
track="-x transform,trk=wpt,del -x track,faketime=f20260101080000+60"
route="-x transform,rte=wpt,del"
for version in 1.0 1.1; do
  v=$(echo "$version" | tr -d .)
  gpsbabel -i unicsv -f "$sample" -o gpx,gpxver=$version -F "a9-waypoints.gpx$v.gpx"
  gpsbabel -i unicsv -f "$sample" $route -o gpx,gpxver=$version -F "a9-route.gpx$v.gpx"
  gpsbabel -i unicsv -f "$sample" $track -o gpx,gpxver=$version -F "a9-track.gpx$v.gpx"
done
gpsbabel -i unicsv -f "$sample" -o kml -F a9-waypoints.kml
gpsbabel -i unicsv -f "$sample" $track -o kml -F a9-track-line.kml
gpsbabel -i unicsv -f "$sample" $track -o kml,track=1,points=0 -F a9-track.kml
gpsbabel -i unicsv -f "$sample" -o geojson -F a9-waypoints.geojson
gpsbabel -i unicsv -f "$sample" $track -o geojson -F a9-track.geojson
# And the sample as a spreadsheet writes it with named columns: semicolons, quotes, CR LF.
awk -F, 'NR == 1 { printf "name;latitude;longitude\r\n"; next }
  { printf "\"%s\";%s;%s\r\n", $3, $2, $1 }' "$sample" >a9-columns.csv
