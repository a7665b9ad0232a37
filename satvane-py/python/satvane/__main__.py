"""Main job: show where a satellite is now and how an observer sees it."""

import satvane

print(f"satvane {satvane.__name__}: {len(satvane.__all__)} classes available")
