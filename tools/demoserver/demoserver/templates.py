"""Matching requests against the URL templates of the atlases.

A stored template is a full URL whose placeholders %1%, %2%, ... stand anywhere
in its path or query.  The host part is ignored when matching, so atlases made
for one port are served on any other.
"""

import re
from urllib.parse import parse_qsl, unquote, urlsplit

_PLACEHOLDER = re.compile(r"%(\d+)%")


def _pattern(text, free):
    """A regular expression for a template piece; placeholders capture `free` text."""
    out, pos = [], 0
    for match in _PLACEHOLDER.finditer(text):
        out.append(re.escape(text[pos:match.start()]))
        out.append("(?P<a%s_%d>%s)" % (match.group(1), len(out), free))
        pos = match.end()
    out.append(re.escape(text[pos:]))
    return re.compile("".join(out) + r"\Z", re.DOTALL)


def _collect(match, args):
    for name, value in match.groupdict().items():
        number = int(name[1:].split("_")[0])
        if number in args and args[number] != value:
            return False
        args[number] = value
    return True


class Template:
    def __init__(self, url):
        self.url = url
        parts = urlsplit(url)
        if parts.scheme and parts.netloc:
            path, query = parts.path, parts.query
        else:
            path, _, query = url.partition("?")
        self.placeholders = sorted({int(n) for n in _PLACEHOLDER.findall(url)})
        self.path = _pattern(path, r"[^?]*?")
        self.query = []
        for piece in query.split("&") if query else []:
            key, _, value = piece.partition("=")
            self.query.append((key, _pattern(value, r".*?")))
        self.literal_length = len(_PLACEHOLDER.sub("", url))

    def match(self, path, query_pairs):
        """The placeholder texts by number when the request fits, else None."""
        match = self.path.match(unquote(path))
        if match is None:
            return None
        args = {}
        if not _collect(match, args):
            return None
        values = dict(query_pairs)
        for key, pattern in self.query:
            if key not in values:
                return None
            found = pattern.match(values[key])
            if found is None or not _collect(found, args):
                return None
        return [args.get(n, "") for n in range(1, max(self.placeholders, default=0) + 1)]


def split_request(target):
    parts = urlsplit(target)
    return parts.path, parse_qsl(parts.query, keep_blank_values=True)
