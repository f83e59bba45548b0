// Turns the arcs of a TopoJSON topology (coastlines and borders) into a C++ source holding them
// as longitude/latitude lines: node outline_from_topojson.js IN.json OUT.cpp
'use strict';
const fs = require('fs');
const [input, output] = process.argv.slice(2);
const topology = JSON.parse(fs.readFileSync(input, 'utf8'));
const t = topology.transform;
const points = [];
const starts = [];
for (const arc of topology.arcs) {
  starts.push(points.length / 2);
  let x = 0, y = 0;
  for (const [dx, dy] of arc) {
    x += dx; y += dy;
    const lon = t ? x * t.scale[0] + t.translate[0] : dx;
    const lat = t ? y * t.scale[1] + t.translate[1] : dy;
    points.push(lon.toFixed(3), lat.toFixed(3));
  }
}
starts.push(points.length / 2);
let text = '// Generated at build time from world-atlas countries-110m (Natural Earth); do not edit.\n' +
  '#include "model/weather_view.h"\n\nnamespace {\nconst float kPoints[] = {\n';
for (let i = 0; i < points.length; i += 16) text += points.slice(i, i + 16).map(v => v + 'f').join(',') + ',\n';
text += '};\nconst int kStarts[] = {' + starts.join(',') + '};\n}  // namespace\n\n' +
  'const std::vector<OutlineLine>& MapOutline() {\n' +
  '  static const std::vector<OutlineLine> lines = [] {\n' +
  '    std::vector<OutlineLine> out;\n' +
  '    for (std::size_t a = 0; a + 1 < std::size(kStarts); ++a) {\n' +
  '      OutlineLine line;\n' +
  '      for (int p = kStarts[a]; p < kStarts[a + 1]; ++p) line.emplace_back(kPoints[2 * p], kPoints[2 * p + 1]);\n' +
  '      out.push_back(std::move(line));\n' +
  '    }\n' +
  '    return out;\n' +
  '  }();\n' +
  '  return lines;\n' +
  '}\n';
fs.writeFileSync(output, text);
