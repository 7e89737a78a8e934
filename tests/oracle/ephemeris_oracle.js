// Writes tests/data/ephemeris_oracle.csv: the Moon's librations, axis angle, sub-solar point,
// bright-limb angle and phase angle at 200 instants of 1990-2040, seen from the centre of the
// Earth and from four places, computed independently of measure/ephemeris with the npm package
// astronomy-engine. The GoogleTest reads the table, so CI needs no node. To regenerate (the
// table only changes if this script or the package does):
//
//   mkdir -p /tmp/oracle && cd /tmp/oracle && npm init -y && npm install astronomy-engine
//   NODE_PATH=/tmp/oracle/node_modules node tests/oracle/ephemeris_oracle.js \
//       > tests/data/ephemeris_oracle.csv
//
// Geocentric librations are Libration() (its own lunar theory). The axis and the observer's
// displacement come from RotationAxis(Body.Moon), the IAU rotation model of the Moon, with the
// package's own Sun and Moon vectors: topocentric librations are Libration() plus the shift of
// the sub-observer point in that body frame. The IAU body frame is tilted by about 0.02° from
// the one of Libration() (its sub-Earth latitude runs 0.019-0.027° lower), so the sub-solar
// point is placed from the sub-observer point instead: the phase angle i away, along the bearing
// P - χ from selenographic north towards east (the disc's east is the Moon's west).

'use strict';
const A = require('astronomy-engine');

const PLACES = [
    null, // the centre of the Earth
    {name: 'Paris', lat: 48.8566, lon: 2.3522, height: 35},
    {name: 'Santiago', lat: -33.4489, lon: -70.6693, height: 570},
    {name: 'Mauna Kea', lat: 19.8207, lon: -155.4681, height: 4205},
    {name: 'Tokyo', lat: 35.6762, lon: 139.6503, height: 40},
];

const DEG = Math.PI / 180;
const dot = (a, b) => a.x * b.x + a.y * b.y + a.z * b.z;
const sub = (a, b) => ({x: a.x - b.x, y: a.y - b.y, z: a.z - b.z});
const neg = (a) => ({x: -a.x, y: -a.y, z: -a.z});
const cross = (a, b) => ({x: a.y * b.z - a.z * b.y, y: a.z * b.x - a.x * b.z, z: a.x * b.y - a.y * b.x});
const unit = (a) => { const n = Math.sqrt(dot(a, a)); return {x: a.x / n, y: a.y / n, z: a.z / n}; };
const wrap180 = (v) => ((v % 360) + 540) % 360 - 180;
const wrap360 = (v) => ((v % 360) + 360) % 360;

// Selenographic latitude and east longitude of a J2000 direction in the IAU body frame.
function selenographic(axis, v) {
    const a = axis.ra * 15 * DEG; // RotationAxis gives the right ascension in hours
    const d = axis.dec * DEG;
    const w = axis.spin * DEG;
    const pole = {x: Math.cos(d) * Math.cos(a), y: Math.cos(d) * Math.sin(a), z: Math.sin(d)};
    const node = {x: -Math.sin(a), y: Math.cos(a), z: 0};
    const m = cross(pole, node);
    const xb = {x: Math.cos(w) * node.x + Math.sin(w) * m.x, y: Math.cos(w) * node.y + Math.sin(w) * m.y,
                z: Math.cos(w) * node.z + Math.sin(w) * m.z};
    const yb = cross(pole, xb);
    const u = unit(v);
    return {lat: Math.asin(dot(u, pole)) / DEG, lon: Math.atan2(dot(u, yb), dot(u, xb)) / DEG};
}

// Position angle (north through east) of direction s on the sky at line of sight los, both of date.
function positionAngle(s, los) {
    const l = unit(los);
    const north = unit(sub({x: 0, y: 0, z: 1}, {x: l.x * l.z, y: l.y * l.z, z: l.z * l.z}));
    const east = cross(north, l);
    return Math.atan2(dot(s, east), dot(s, north)) / DEG;
}

// The point `distance` degrees from (lat, lon) along `bearing` (from north towards east).
function destination(lat, lon, distance, bearing) {
    const [p, d, b] = [lat * DEG, distance * DEG, bearing * DEG];
    const sinLat = Math.sin(p) * Math.cos(d) + Math.cos(p) * Math.sin(d) * Math.cos(b);
    const dLon = Math.atan2(Math.sin(b) * Math.sin(d) * Math.cos(p), Math.cos(d) - Math.sin(p) * sinLat);
    return {lat: Math.asin(sinLat) / DEG, lon: lon + dLon / DEG};
}

function toDate(v, time) {
    const r = A.RotateVector(A.Rotation_EQJ_EQD(time), new A.Vector(v.x, v.y, v.z, time));
    return {x: r.x, y: r.y, z: r.z};
}

function row(time, place) {
    const moon = A.GeoMoon(time);
    const sun = A.GeoVector(A.Body.Sun, time, true);
    const seen = place
        ? sub(moon, A.ObserverVector(time, new A.Observer(place.lat, place.lon, place.height), false))
        : moon;
    const axis = A.RotationAxis(A.Body.Moon, time);
    const lib = A.Libration(time);
    const geo = selenographic(axis, neg(moon));
    const top = selenographic(axis, neg(seen));
    const moonToSun = sub(sun, moon);
    const seenDate = toDate(seen, time);
    const phase = Math.acos(dot(unit(moonToSun), unit(neg(seen)))) / DEG;
    const elon = lib.elon + wrap180(top.lon - geo.lon);
    const elat = lib.elat + (top.lat - geo.lat);
    const axisAngle = positionAngle(toDate(axis.north, time), seenDate);
    const limb = positionAngle(toDate(moonToSun, time), seenDate);
    const solar = destination(elat, elon, phase, axisAngle - limb);
    return [wrap180(elon), elat, wrap180(axisAngle), solar.lat, wrap180(solar.lon), wrap360(limb), phase];
}

// A fixed linear congruential sequence, so that the table is the same at every run.
let seed = 20260101;
function random() {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed / 2147483648;
}

const start = Date.UTC(1990, 0, 1);
const end = Date.UTC(2041, 0, 1);
console.log('utc,jd_ut,latitude,longitude,height,elon,elat,axis,sun_lat,sun_lon,limb,phase');
for (let k = 0; k < 200; ++k) {
    const when = new Date(Math.round(start + random() * (end - start)));
    const time = A.MakeTime(when);
    const place = PLACES[k % PLACES.length];
    const values = row(time, place).map((v) => v.toFixed(5));
    const where = place ? [place.lat, place.lon, place.height] : ['', '', ''];
    console.log([when.toISOString(), (time.ut + 2451545).toFixed(8), ...where, ...values].join(','));
}
