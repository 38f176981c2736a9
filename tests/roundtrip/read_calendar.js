// read_calendar.js FILE: what ical.js reads in a calendar that evsift or
// evjoin wrote, as one line of JSON in the form read_calendar.py gives.
// Reading the file, writing it back and reading that again must give the
// same; a parse error, or a difference, ends with status 1.
'use strict';
const fs = require('fs');
const ICAL = require('ical.js');

// ical.js gives the value of a property it has no type for (an X- property)
// as written; python icalendar reads it as TEXT, unescaped, as libical does.
function valueText(property) {
    const value = property.getFirstValue();
    if (property.type === 'unknown')
        return value.replace(/\\([\\,;nN])/g, (_, c) => (c === 'n' || c === 'N' ? '\n' : c));
    return typeof value === 'string' ? value : value.toString();
}

function summary(text) {
    const calendar = new ICAL.Component(ICAL.parse(text));
    const properties = calendar.getAllProperties().map(
        (p) => [p.name.toUpperCase(), valueText(p)]);
    const zones = calendar.getAllSubcomponents('vtimezone').map(
        (z) => z.getFirstPropertyValue('tzid'));
    const events = calendar.getAllSubcomponents('vevent').map((e) => {
        const id = e.getFirstProperty('recurrence-id');
        return [e.getFirstPropertyValue('uid') || '',
                id ? id.toICALString().replace(/^RECURRENCE-ID[^:]*:/, '') : '',
                e.getFirstPropertyValue('summary') || ''];
    });
    return {calendar: properties, events: events, zones: zones};
}

const path = process.argv[2];
const text = fs.readFileSync(path, 'utf8');
let first;
let second;
try {
    first = summary(text);
    second = summary(new ICAL.Component(ICAL.parse(text)).toString());
} catch (error) {
    console.error(`${path}: ${error.message}`);
    process.exit(1);
}
if (JSON.stringify(first) !== JSON.stringify(second)) {
    console.error(`${path}: changed by a round trip:\n${JSON.stringify(first)}\n${JSON.stringify(second)}`);
    process.exit(1);
}
console.log(JSON.stringify(first));
