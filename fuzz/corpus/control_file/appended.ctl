tarnfetch-control 1
value layout appended
value last-modified Tue,%2008%20Dec%202026
end
