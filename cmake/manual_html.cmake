# The pilot's manual as one HTML page a browser opens: cmark-gfm's rendering of the Markdown
# (tables as the GFM table extension reads them, a picture with an emphasised line of its own
# under it as a figure with that caption), titled with its first heading, with a small style, and
# Windows line endings as the package's other text files have.
# Usage: cmake -DCMARK=<cmark-gfm> -DIN=<manual .md> -DOUT=<page .html> -P manual_html.cmake
if(NOT CMARK)
  message(FATAL_ERROR "No cmark-gfm was found when the build was configured; it makes the manual's HTML page "
                      "from ${IN}. Install it (Debian: apt-get install cmark-gfm) and configure the build again.")
endif()
execute_process(COMMAND ${CMARK} --extension table --to html ${IN}
                OUTPUT_VARIABLE body ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${CMARK} failed on ${IN}: ${err}")
endif()
# A picture followed by a paragraph of emphasis alone is a picture with its caption.
string(REGEX REPLACE "<p>(<img [^>]*>)</p>\n<p><em>([^<]*)</em></p>" "<figure>\\1\n<figcaption>\\2</figcaption>\n</figure>"
       body "${body}")
file(STRINGS ${IN} heading REGEX "^# " LIMIT_COUNT 1)
if(NOT heading)
  message(FATAL_ERROR "${IN} has no title heading (# ...)")
endif()
string(REGEX REPLACE "^# +" "" title "${heading}")
string(REPLACE "&" "&amp;" title "${title}")
string(REPLACE "<" "&lt;" title "${title}")
string(REPLACE ">" "&gt;" title "${title}")
set(page "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<title>${title}</title>
<style>
body { max-width: 50em; margin: 2em auto; padding: 0 1em; font-family: \"Segoe UI\", Arial, sans-serif; line-height: 1.5; color: #222; }
img { max-width: 100%; }
figure { margin: 1.5em 0; }
figcaption { font-style: italic; color: #555; margin-top: 0.3em; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.6em; text-align: left; vertical-align: top; }
th { background: #eee; }
code { font-family: Consolas, monospace; background: #f2f2f2; padding: 0 0.2em; }
</style>
</head>
<body>
${body}</body>
</html>
")
string(REPLACE "\n" "\r\n" page "${page}")
file(WRITE ${OUT} "${page}")
