"""The words the benchmark documents are made of."""

WORDS = """
the of and to in is for on with that this as it be at by from or an are not
was but have will can all about more one out up into new some time if when
what there so no which their how other than only its over also after first
well way even back any these give most us plan notes review draft meeting
call email read write fix check update list ideas project budget report
team client design test build release deploy parser grammar outline
headline anchor document archive garden kitchen travel train ticket hotel
book chapter paper article summary question answer follow today tomorrow
monday friday week month quarter year morning evening lunch dinner coffee
groceries milk bread eggs apples butter cheese doctor dentist bank tax
invoice receipt contract lease insurance car bike repair plumber paint
window door garage roof server backup laptop phone password account
invite birthday gift party family friends school homework exam lecture
course slides talk conference workshop sprint retro standup roadmap goal
habit running yoga swim walk sleep music album concert film series game
recipe soup pasta salad cake garden seeds tomatoes water fence shed
""".split()

# Words that appear as hashtags: a handful that recur, as tags do in notes.
TAGS = """
todo done next later idea waiting someday urgent home work errands reading
books music health money travel garden family review q3plan 2024 projectX
""".split()

PATH_WORDS = """
notes docs archive projects inbox journal meetings papers drafts reference
2023 2024 ideas home work readme index summary plan budget
""".split()

HOSTS = ("example.org", "example.com", "docs.example.net", "wiki.example.org", "news.example.com")

PUNCT_WORDS = (
    "(see below)",
    "e.g.",
    "i.e.",
    "100%",
    "a/b",
    "Q&A",
    "don't",
    "it's",
    '"quoted"',
    "x=1",
    "1+1",
    "v2.0",
    "2024-05-17",
    "10:30",
    "what?",
    "well,",
    "done.",
)

# Text that makes a headline line unusable for brelim (it is skipped whole);
# notes have a few of these.
NOISE = (
    "C# and F# notes",
    "pay $40 today",
    "wow!",
    "a; b",
    "tabs\there",
    "me @ home",
    "x ^ y",
    "[draft]",
    "email <someone>",
    "50 ~ 60",
)
