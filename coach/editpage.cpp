#include "editpage.h"

#include "common/iso8601.h"
#include "textcut.h"

using namespace Qt::StringLiterals;

namespace tolvane::coach {

namespace {

QString esc(const QString& s) {
    return s.toHtmlEscaped();
}

const char* const style = R"(
body{font-family:system-ui,-apple-system,"DejaVu Sans",sans-serif;background:#f4f2ee;color:#1d2226;margin:0}
main{max-width:1040px;margin:0 auto;padding:24px;display:grid;grid-template-columns:1fr 1fr;gap:24px}
@media(max-width:800px){main{grid-template-columns:1fr}}
h1{font-size:18px;margin:0 0 12px}h2{font-size:11px;letter-spacing:.08em;color:#666;margin:18px 0 8px}
textarea{width:100%;box-sizing:border-box;min-height:320px;font:15px/1.45 inherit;padding:10px;border:1px solid #e0dfdc;border-radius:10px}
.card{background:#fff;border:1px solid #e0dfdc;border-radius:8px;padding:14px}
.head{display:flex;gap:10px;align-items:center}.avatar{width:48px;height:48px;border-radius:50%;background:#0a66c2;color:#fff;font:bold 20px sans-serif;display:flex;align-items:center;justify-content:center}
.name{font-weight:600;font-size:15px}.sub{color:#666;font-size:12px}
.body{white-space:pre-wrap;font-size:14px;margin:12px 0}.foot{border-top:1px solid #e0dfdc;padding-top:8px;color:#666;font-size:12px}
.row{display:flex;gap:8px;align-items:center;flex-wrap:wrap;margin-top:10px}
button{background:#0a66c2;color:#fff;border:0;border-radius:16px;padding:8px 16px;font-weight:600;cursor:pointer}
button.secondary{background:#fff;color:#0a66c2;border:1px solid #0a66c2}button:disabled{opacity:.5;cursor:default}
#status{margin-top:12px;padding:10px;border-radius:8px;display:none}.ok{background:#e6f4ea}.err{background:#fdecea}
.count{color:#666;font-size:12px}
)";

const char* const script = R"(
const token = document.body.dataset.token;
const text = document.getElementById('text');
const preview = document.getElementById('preview');
const count = document.getElementById('count');
const statusBox = document.getElementById('status');
function refresh(){preview.textContent = text.value || 'Your post preview appears here…';count.textContent = text.value.length + ' characters';}
function show(ok, msg){statusBox.className = ok ? 'ok' : 'err';statusBox.textContent = msg;statusBox.style.display='block';}
async function call(method, path, body){
  const r = await fetch(path, {method, headers:{'Content-Type':'application/json'}, body: JSON.stringify(body)});
  let data = {}; try { data = await r.json(); } catch(e) {}
  if (!r.ok) throw new Error(data.error || ('HTTP ' + r.status));
  return data;
}
async function save(){try{await call('PUT','../api/draft/'+token,{text:text.value});show(true,'Saved.');}catch(e){show(false,e.message);}}
async function schedule(now){
  let when = '';
  if(!now){const v=document.getElementById('when').value; if(!v){show(false,'Pick a date and time first.');return;} when = new Date(v).toISOString();}
  try{
    const d = await call('POST','../api/schedule/'+token,{text:text.value,when:when,time_zone:Intl.DateTimeFormat().resolvedOptions().timeZone});
    show(true, d.mode === 'published' ? 'Published.' : 'Scheduled for ' + new Date(d.at).toLocaleString() + '.');
    if (d.mode === 'published') lock();
  }catch(e){show(false,e.message);}
}
function lock(){text.readOnly=true;document.querySelectorAll('button,input').forEach(b=>b.disabled=true);}
text.addEventListener('input', refresh); refresh();
const local = new Date(Date.now() - new Date().getTimezoneOffset() * 60000);
document.getElementById('when').min = local.toISOString().slice(0, 16);
if (document.body.dataset.status === 'published') lock();
)";

} // namespace

QByteArray EditPage::render(const Draft& draft, const Author& author) {
    const QString name = author.name.trimmed().isEmpty() ? u"Your Name"_s : author.name.trimmed();
    QString statusLine;
    if (draft.status == "published"_L1) {
        statusLine = u"Published %1 UTC — this post can no longer be edited."_s.arg(
            draft.publishedAt.toString(u"yyyy-MM-dd HH:mm"_s));
    } else if (draft.status == "scheduled"_L1) {
        statusLine = u"Scheduled for <time datetime=\"%1\">%2 UTC</time>."_s.arg(
            iso8601::formatWithMilliseconds(draft.scheduledAt),
            draft.scheduledAt.toString(u"yyyy-MM-dd HH:mm"_s));
    } else {
        statusLine = u"Draft — not scheduled yet."_s;
    }

    QString html;
    html += u"<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
            "<title>Edit post · Tolvane</title><style>"_s +
            QString::fromUtf8(style) + u"</style></head>"_s;
    html += u"<body data-token=\"%1\" data-status=\"%2\"><main><section>"_s.arg(esc(draft.token),
                                                                                esc(draft.status));
    html += u"<h1>Edit post</h1><p class=\"sub\">%1</p><h2>POST</h2>"_s.arg(statusLine);
    html += u"<textarea id=\"text\" maxlength=\"3000\">%1</textarea>"_s.arg(esc(draft.text));
    html += u"<div class=\"row\"><span id=\"count\" class=\"count\"></span>"
            "<button class=\"secondary\" onclick=\"save()\">Save</button></div>"
            "<h2>SCHEDULE</h2><div class=\"row\">"
            "<button onclick=\"schedule(true)\">Post now</button>"
            "<input type=\"datetime-local\" id=\"when\">"
            "<button class=\"secondary\" onclick=\"schedule(false)\">Schedule"
            "</button></div><div id=\"status\"></div></section>"_s;
    html += u"<section><h2>LIVE PREVIEW</h2><div class=\"card\"><div class=\"head\">"
            "<div class=\"avatar\">%1</div><div><div class=\"name\">%2</div>"_s.arg(
                esc(textcut::firstGrapheme(name).toUpper()), esc(name));
    if (!author.headline.trimmed().isEmpty()) {
        html += u"<div class=\"sub\">%1</div>"_s.arg(esc(author.headline.trimmed()));
    }
    html += u"<div class=\"sub\">now · 🌐</div></div></div>"
            "<div class=\"body\" id=\"preview\"></div>"
            "<div class=\"foot\">Like · Comment · Repost</div></div></section>"
            "</main><script>"_s +
            QString::fromUtf8(script) + u"</script></body></html>"_s;
    return html.toUtf8();
}

QByteArray EditPage::notFound(const QString& token) {
    return u"<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<title>Draft not found · Tolvane</title></head><body "
           "style=\"font-family:sans-serif;padding:40px\"><h1>Draft not found</h1>"
           "<p>There is no draft <code>%1</code>. It may have been erased with "
           "/forgetme or /wipe.</p></body></html>"_s.arg(token.toHtmlEscaped())
               .toUtf8();
}

} // namespace tolvane::coach
