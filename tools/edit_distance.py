"""The edit distance the read-rate measurements score partial reads by."""


def edit_distance(a, b):
    """Insertions, deletions and substitutions that turn sequence a into sequence b."""
    row = list(range(len(b) + 1))
    for i, x in enumerate(a, 1):
        previous, row[0] = row[0], i
        for j, y in enumerate(b, 1):
            previous, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, previous + (x != y))
    return row[-1]
