tarnfetch-control 1
value layout ranges
value length 3000
value etag %22abc%22
done 0 100
done 200 300
end
