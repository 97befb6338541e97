#!/usr/bin/env python3
"""A local stand-in for the web search engine and the cloud-drive service, on 127.0.0.1 only.

Both services live on one port, so a build whose two hosts are "127.0.0.1:<port>" finds everything
here: result pages (/s), the search engine's link pages (/link), share pages (/share/link) and the
files themselves (/file). Everything a page shows is computed from the keyword and the page number,
so the end-to-end test imports this module to know what each page must hold.

Run: standin.py --port 47613 [--log requests.jsonl]
Every request is logged as one JSON line: method, path, Cookie header (null when absent), all
headers, the status answered and the Set-Cookie values sent.
"""

import argparse
import base64
import binascii
import hashlib
import html
import json
import os
import signal
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

RESULTS_PER_PAGE = 10

# Set on a first visit, with the 301 that plants them. The name holding USER_RS is one the tool
# must never keep.
FIRST_VISIT_COOKIES = [
    ("BAIDUID", "5F2C9A1D3E4B6A7C8D9E0F1A2B3C4D5E:FG=1",
     "; expires=Thu, 31-Dec-37 23:55:55 GMT; max-age=2147483647; path=/"),
    ("BIDUPSID", "5F2C9A1D3E4B6A7C8D9E0F1A2B3C4D5E",
     "; expires=Thu, 31-Dec-37 23:55:55 GMT; max-age=2147483647; path=/"),
    ("PSTM", "1700000000", "; expires=Thu, 31-Dec-37 23:55:55 GMT; path=/"),
    ("H_WISE_USER_RS", "0_1_2", "; path=/"),
]
# Set by every result page: the number of the page served, so that each request shows whether the
# cookies of the response before it were kept.
PAGE_COOKIE = "BDSVRTM"

_PREFIXES = ["2023年", "高清", "完整版", "精选", "经典", "最新", "全套", "中英双语"]
_MIDDLES = ["合集", "资料", "教程", "笔记", "原声", "课件", "手册", "素材"]
_EXTENSIONS = ["zip", "rar", "pdf", "mp4", "7z", "txt", "epub", "mkv"]
_SHARERS = ["云端小站", "阿明", "书虫007", "夜雨", "lucky_cat", "老王", "晨光", "星河"]
_NAV_PAGES = 10


def search_host(port):
    return "127.0.0.1:%d" % port


def page_count(keyword):
    """Number of result pages for a keyword: 5 to 8."""
    return 5 + binascii.crc32(keyword.encode("utf-8")) % 4


def link_token(keyword, number):
    """The token of result number (1-based over all pages); it carries both values, so the link
    and share pages work for any token, also after a restart."""
    raw = keyword.encode("utf-8") + b"\0" + str(number).encode("ascii")
    return base64.urlsafe_b64encode(raw).decode("ascii").rstrip("=")


def parse_token(token):
    """(keyword, number) of a token, or None."""
    try:
        raw = base64.urlsafe_b64decode(token + "=" * (-len(token) % 4))
        keyword, number = raw.split(b"\0", 1)
        return keyword.decode("utf-8"), int(number.decode("ascii"))
    except (ValueError, UnicodeDecodeError, binascii.Error):
        return None


def share_id(token):
    return int(hashlib.sha1(token.encode("ascii")).hexdigest()[:9], 16)


def _digest(keyword, number):
    return hashlib.sha1(("%s\0%d" % (keyword, number)).encode("utf-8")).digest()


def result(keyword, number):
    """Result number (1-based over all pages) for a keyword. name_html is the name as the page
    writes it (keyword inside <em>), name as the result list shows it."""
    d = _digest(keyword, number)
    prefix = _PREFIXES[d[0] % len(_PREFIXES)]
    middle = _MIDDLES[d[1] % len(_MIDDLES)]
    extension = _EXTENSIONS[d[2] % len(_EXTENSIONS)]
    shown_keyword = html.escape(keyword, quote=False)
    name_html = "%s<em>%s</em>%s%03d.%s" % (prefix, shown_keyword, middle, number, extension)
    kilobytes = 1 + int.from_bytes(d[3:7], "big") % 4000000
    if kilobytes >= 1024 * 1024:
        size = "%.1fG" % (kilobytes / (1024.0 * 1024.0))
    elif kilobytes >= 1024:
        size = "%.1fM" % (kilobytes / 1024.0)
    else:
        size = "%dK" % kilobytes
    return {
        "number": number,
        "name_html": name_html,
        "name": name_html.replace("<em>", "").replace("</em>", ""),
        "size": size,
        "sharer": _SHARERS[d[7] % len(_SHARERS)],
        "token": link_token(keyword, number),
    }


def page_number_for_offset(keyword, offset_text):
    """The page a "pn" offset shows: offset / 10 + 1, kept within the pages there are, as search
    engines do. A missing or unreadable offset shows page 1."""
    try:
        offset = float(offset_text)
        page = int(offset // RESULTS_PER_PAGE) + 1 if offset == offset and abs(offset) < 1e15 else 1
    except (TypeError, ValueError):
        page = 1
    return max(1, min(page, page_count(keyword)))


def page_results(keyword, page):
    first = (page - 1) * RESULTS_PER_PAGE + 1
    return [result(keyword, n) for n in range(first, first + RESULTS_PER_PAGE)]


def direct_link_escaped(port, token):
    """The direct link as the share page writes it: inside a JSON text inside a script, so every
    slash is written as two backslashes and a slash."""
    return "http:\\\\/\\\\/%s\\\\/file\\\\/%s?fid=%d" % (search_host(port), token, share_id(token))


def direct_link(port, token):
    return "http://%s/file/%s?fid=%d" % (search_host(port), token, share_id(token))


def share_address(port, token):
    """The share page's address as the link page writes it, with "&amp;"."""
    return "http://%s/share/link?surl=%s&amp;shareid=%d" % (search_host(port), token, share_id(token))


def file_body(token):
    parsed = parse_token(token)
    keyword, number = parsed if parsed else ("", 0)
    r = result(keyword, number)
    return ("Tarnisk stand-in download\nfile: %s\nsize: %s\nshared by: %s\n"
            % (r["name"], r["size"], r["sharer"])).encode("utf-8")


def search_keyword(query):
    """The keyword of a search query: the wd value before its " site:" restriction."""
    values = urllib.parse.parse_qs(query, keep_blank_values=True, encoding="utf-8", errors="replace")
    wd = values.get("wd", [""])[0]
    cut = wd.rfind(" site:")
    return wd[:cut] if cut >= 0 else wd


# --- page text ----------------------------------------------------------------------------------

# Words of the surrounding page; none of them is a marker the tool looks for.
_FILLER_WORDS = ["网页", "资讯", "视频", "图片", "知道", "文库", "贴吧", "地图", "更多", "设置",
                 "登录", "帮助", "反馈", "隐私", "搜索工具", "相关搜索", "为您推荐", "加载中…",
                 "时间不限", "所有网页和文件", "站点内检索", "百科", "音乐", "翻译", "😀"]
_FORBIDDEN = ["文件名:", "文件大小:", "分享者:", "上一页", "下一页", "</span></strong>"]


def _filler_styles(count):
    rules = []
    for i in range(count):
        rules.append(".c-container-%d .t a,.c-abstract-%d em{color:#%06x;font:%dpx/%dpx arial,sans-serif;"
                     "margin:%dpx %dpx;padding:0 %dpx;background:url(https://ss%d.static.example/img/%d.png)"
                     " no-repeat}\n" % (i, i, (i * 2654435761) & 0xFFFFFF, 12 + i % 6, 18 + i % 8,
                                        i % 9, i % 7, i % 5, i % 4, i))
    return "".join(rules)


def _filler_script(count, tag):
    lines = ["var bds=bds||{};bds.%s={};" % tag]
    for i in range(count):
        word = _FILLER_WORDS[i % len(_FILLER_WORDS)]
        lines.append('bds.%s.m%d=function(e){var t="%s",n=[%d,%d,%d];if(e&&e.length>%d){return t+"'
                     '&amp;"+n.join("|")}return "https://sp%d.static.example/s?wd="+encodeURIComponent(t)'
                     '+"&rsv_spt=%d"};\n' % (tag, i, word, i, i * 3, i * 7, i % 13, i % 3, i))
    return "".join(lines)


def _filler_links(port, count):
    host = search_host(port)
    links = []
    for i in range(count):
        word = _FILLER_WORDS[i % len(_FILLER_WORDS)]
        if i % 3 == 0:
            # The secure form of a result link: not a result.
            links.append('<a href="https://%s/link?url=Zm9vdGVy%04d" class="c-gap-right">%s</a>' % (host, i, word))
        elif i % 3 == 1:
            links.append('<a href="http://%s/s?wd=%s&amp;rsp=%d" target="_blank">%s</a>'
                         % (host, urllib.parse.quote(word), i, word))
        else:
            links.append('<a href="https://help.static.example/%d.html">%s&nbsp;%d</a>' % (i, word, i))
    return " ".join(links)


class PageText:
    """The surrounding HTML of a result page, made once per port: about 300 KiB."""

    def __init__(self, port):
        self.head_styles = _filler_styles(560)
        self.head_script = _filler_script(440, "head")
        self.top_links = _filler_links(port, 200)
        self.foot_links = _filler_links(port, 160)
        self.foot_script = _filler_script(420, "foot")
        for text in (self.head_styles, self.head_script, self.top_links, self.foot_links, self.foot_script):
            for marker in _FORBIDDEN:
                assert marker not in text, marker
            assert "http://%s/link?url=" % search_host(port) not in text


def result_page(port, keyword, page, text):
    host = search_host(port)
    last = page_count(keyword)
    shown_keyword = html.escape(keyword, quote=False)
    query = urllib.parse.quote_plus(keyword + " site:" + host)
    parts = [
        '<!DOCTYPE html>\n<html><head><meta http-equiv="content-type" content="text/html;charset=utf-8">'
        '<meta content="always" name="referrer"><title>%s site:%s_百度搜索</title>\n<style>\n' % (shown_keyword, host),
        text.head_styles,
        "</style>\n<script>\n", text.head_script, "</script>\n</head>\n<body>\n",
        '<div id="head"><div class="s_form"><form id="form" name="f" action="/s">'
        '<input type="hidden" name="ie" value="utf-8"><input id="kw" name="wd" value="%s site:%s"></form></div>\n'
        '<div id="u">%s</div></div>\n' % (html.escape(keyword), host, text.top_links),
        '<div id="content_left">\n',
    ]
    for r in page_results(keyword, page):
        parts.append(
            '<div class="result c-container " id="%d" srcid="1599" tpl="se_com_default" data-click="{\'rsv_bdr\':\'0\'}">'
            '<h3 class="t"><a data-click="{\'F\':\'778317EA\',\'T\':\'%d\'}" href="http://%s/link?url=%s" target="_blank">'
            '%s_免费高速下载|百度网盘-分享无限制</a></h3>\n'
            '<div class="c-abstract">文件名:%s文件大小:%s分享者:%s分享时间:2016-%02d-%02d 下载次数:%d</div>\n'
            '<div class="f13"><span class="c-showurl">pan.baidu.com/s/1%s</span>&nbsp;'
            '<a href="https://%s/link?url=%s&amp;cache=1" class="m">百度快照</a></div></div>\n'
            % (r["number"], r["number"], host, r["token"], r["name_html"], r["name_html"], r["size"],
               r["sharer"], 1 + r["number"] % 12, 1 + r["number"] % 28, r["number"] * 13 % 997,
               r["token"][:8], host, r["token"]))
    parts.append('</div>\n<div id="page"><div class="page-inner">')
    if page > 1:
        parts.append('<a class="n" href="/s?wd=%s&amp;pn=%d">&lt;上一页</a>' % (query, (page - 2) * RESULTS_PER_PAGE))
    first_shown = max(1, page - _NAV_PAGES // 2)
    for p in range(first_shown, min(last, first_shown + _NAV_PAGES - 1) + 1):
        if p == page:
            parts.append('<strong><span class="pc">%d</span></strong>' % p)
        else:
            parts.append('<a href="/s?wd=%s&amp;pn=%d"><span class="pc">%d</span></a>'
                         % (query, (p - 1) * RESULTS_PER_PAGE, p))
    if page < last:
        parts.append('<a class="n" href="/s?wd=%s&amp;pn=%d">下一页&gt;</a>' % (query, page * RESULTS_PER_PAGE))
    parts.append('</div></div>\n<div id="foot">%s</div>\n<script>\n' % text.foot_links)
    parts.append(text.foot_script)
    parts.append("</script>\n</body></html>\n")
    return "".join(parts).encode("utf-8")


def link_page(port, token):
    target = share_address(port, token)
    plain = html.unescape(target)
    return ('<html><head><meta content="always" name="referrer"><noscript><meta http-equiv="refresh" '
            'content="0;URL=\'%s\'"></noscript></head><body><a href="%s">%s</a>'
            '<script>window.location.replace("%s")</script></body></html>\n'
            % (target, target, html.escape(plain), plain)).encode("utf-8")


def share_page(port, token):
    parsed = parse_token(token)
    keyword, number = parsed if parsed else ("", 0)
    r = result(keyword, number)
    file_name = json.dumps(r["name"], ensure_ascii=False)[1:-1].replace('"', '\\"')
    return ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>%s_免费高速下载|百度网盘-分享无限制</title>'
            '<link rel="stylesheet" href="https://pan.static.example/box-static/css/share.css"></head><body>'
            '<div class="share-file-viewer"><h2 title="%s">%s</h2><span class="size">%s</span></div>\n'
            '<script>yunData.setData({"shareid":%d,"uk":1012345678,"file_list":"[{\\"fs_id\\":%d,'
            '\\"server_filename\\":\\"%s\\",\\"dlink\\":\\"%s\\",\\"isdir\\":0}]"});</script>\n'
            '</body></html>\n'
            % (html.escape(r["name"]), html.escape(r["name"]), html.escape(r["name"]), r["size"],
               share_id(token), number, file_name, direct_link_escaped(port, token))).encode("utf-8")


def error_page(message):
    return ("<html><head><title>%s</title></head><body><h1>%s</h1></body></html>\n"
            % (message, message)).encode("utf-8")


# --- the server ---------------------------------------------------------------------------------

class StandinServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, log_path):
        super().__init__(("127.0.0.1", port), Handler)
        self.port = port
        self.page_text = PageText(port)
        self.log_path = log_path
        self.log_lock = threading.Lock()

    def log_request_record(self, record):
        if not self.log_path:
            return
        line = json.dumps(record, ensure_ascii=False) + "\n"
        with self.log_lock:
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write(line)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def version_string(self):
        return "BWS/1.1"

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        self._answer()

    def do_POST(self):
        self._answer()

    def do_HEAD(self):
        self._answer(head_only=True)

    def _answer(self, head_only=False):
        length = self.headers.get("Content-Length")
        if length and length.isdigit() and int(length) > 0:
            self.rfile.read(min(int(length), 1 << 20))
        port = self.server.port
        path, _, query = self.path.partition("?")
        cookie = self.headers.get("Cookie")
        set_cookies = []
        extra = []

        if path == "/_standin/ping":
            self._send(200, "text/plain", ("tarnisk-standin %d\n" % os.getpid()).encode(), [], [], head_only)
            return

        if path == "/s":
            keyword = search_keyword(query)
            if not cookie:
                status, body, content_type = 301, error_page("301 Moved Permanently"), "text/html"
                set_cookies = ["%s=%s%s" % c for c in FIRST_VISIT_COOKIES]
                extra = [("Location", "http://%s%s" % (search_host(port), self.path))]
            else:
                values = urllib.parse.parse_qs(query, keep_blank_values=True)
                page = page_number_for_offset(keyword, values.get("pn", [None])[0])
                status, content_type = 200, "text/html;charset=utf-8"
                body = result_page(port, keyword, page, self.server.page_text)
                set_cookies = ["%s=%d; path=/" % (PAGE_COOKIE, page)]
        elif path == "/link":
            token = urllib.parse.parse_qs(query).get("url", [""])[0]
            if parse_token(token):
                status, body, content_type = 200, link_page(port, token), "text/html;charset=utf-8"
            else:
                status, body, content_type = 404, error_page("404 Not Found"), "text/html"
        elif path == "/share/link":
            values = urllib.parse.parse_qs(query)
            token = values.get("surl", [""])[0]
            # A shareid under "amp;shareid" means the address still held "&amp;".
            if parse_token(token) and values.get("shareid", [""])[0] == str(share_id(token)):
                status, body, content_type = 200, share_page(port, token), "text/html;charset=utf-8"
            else:
                status, body, content_type = 404, error_page("404 Not Found"), "text/html"
        elif path.startswith("/file/"):
            token = path[len("/file/"):]
            values = urllib.parse.parse_qs(query)
            if parse_token(token) and values.get("fid", [""])[0] == str(share_id(token)):
                status, body, content_type = 200, file_body(token), "application/octet-stream"
                name = result(*parse_token(token))["name"]
                extra = [("Content-Disposition", "attachment; filename*=UTF-8''" + urllib.parse.quote(name))]
            else:
                status, body, content_type = 404, error_page("404 Not Found"), "text/html"
        else:
            status, body, content_type = 404, error_page("404 Not Found"), "text/html"

        self.server.log_request_record({
            "time": time.time(),
            "method": self.command,
            "path": self.path,
            "cookie": cookie,
            "headers": [[k, v] for k, v in self.headers.items()],
            "status": status,
            "set_cookie": set_cookies,
        })
        self._send(status, content_type, body, set_cookies, extra, head_only)

    def _send(self, status, content_type, body, set_cookies, extra, head_only):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for value in set_cookies:
            self.send_header("Set-Cookie", value)
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if not head_only:
            self.wfile.write(body)


def main():
    parser = argparse.ArgumentParser(description="Local stand-in for the search engine and the cloud drive.")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--log", default="", help="file that receives one JSON line per request")
    args = parser.parse_args()
    server = StandinServer(args.port, args.log)

    def stop(signum, frame):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print("stand-in listening on http://127.0.0.1:%d" % args.port, flush=True)
    server.serve_forever(poll_interval=0.2)
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
